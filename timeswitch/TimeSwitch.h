#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "devices/ChannelContext.h"
#include "timeswitch/SwitchTable.h"

class DigitalOutput;

// The weekly time switch ("Schaltuhr") of the channels in mode uhr. It
// keeps the current week time, a whole minute, and one switching table that
// holds the most recent load only: every use directly follows the load for
// the channel concerned.
class TimeSwitch final : public ClockChannels {
 public:
  // Start of each weekday in week time, indexed by tm_wday (0 = Sunday).
  static constexpr int32_t day_offset[7] = {518400, 0, 86400, 172800, 259200, 345600, 432000};
  // Weekday texts by day position (0 = Monday).
  static constexpr const char* wdaystr[7] = {"Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"};

  // Sets the week time from local and registers itself as the channels'
  // time switch; loads nothing and touches no output.
  TimeSwitch(ChannelContext& channels, int32_t slots, const std::tm& local);
  ~TimeSwitch();
  TimeSwitch(const TimeSwitch&) = delete;
  TimeSwitch& operator=(const TimeSwitch&) = delete;

  // Current week time from local; true at the turn from Sunday to Monday.
  bool updateClock(const std::tm& local);
  // Once a minute: 1 when a channel's next switching time was set afresh.
  int32_t minuteTick(const std::tm& local);
  // Evaluates channel n if it is in mode uhr without a running timer;
  // sets changed to 1 when it recorded a new next switching time.
  void evaluateOutput(int32_t n, int32_t& changed) override;

  // Loads the control file fileName (taken from the working directory,
  // reported as written) into the switching table as seen from the current
  // week time: the entry count, or -1 when the file cannot be read (the
  // table is then empty).
  int32_t setSchaltuhrPunkte(const std::string& fileName);

  // "Mo 06:00" for a week time; one week above the week is taken back once.
  // The text lives in a buffer the next call overwrites.
  const char* formatWeekTime(int32_t weekTime);

  int32_t weekTime() const { return weekTime_; }
  int32_t count() const { return count_; }
  // Entry i of the switching table; {0, off} beyond the count.
  const SwitchPoint& point(int32_t i) const;

 private:
  void showNextSwitch(DigitalOutput& out);

  ChannelContext& channels_;
  const DeviceContext& context_;
  OutputTable& outputs_;
  int32_t slots_;
  int32_t weekTime_ = 0;
  int32_t prevWeekday_ = -1;  // tm_wday at the last clock update, -1 before the first
  SwitchTable table_{};
  int32_t count_ = 0;
  char text_[256] = {};
};
