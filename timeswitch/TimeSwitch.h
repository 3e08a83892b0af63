#pragma once

#include <cstdint>
#include <ctime>
#include <string>

class OutputTable;
class Tessaro;

// The weekly time switch ("Schaltuhr") of the channels in mode "uhr".
class TimeSwitch {
 public:
  // Sets the week time from local; loads nothing and touches no output.
  TimeSwitch(Tessaro& t, OutputTable& outputs, int32_t slots, const std::tm& local);

  // Current week time from local; true at the turn from Sunday to Monday.
  bool updateClock(const std::tm& local);
  // Once a minute: 1 when a channel's next switching time was set afresh.
  int32_t minuteTick(const std::tm& local);
  // Evaluates channel n if it is in mode "uhr" without a running timer;
  // sets changed to 1 when it recorded a new next switching time.
  void evaluateOutput(int32_t n, int32_t& changed);

 private:
  Tessaro& t_;
  OutputTable& outputs_;
  int32_t slots_;
};
