#include "timeswitch/TimeSwitch.h"

#include <cstdio>

#include "base/Text.h"
#include "devices/DeviceContext.h"
#include "devices/OutputTable.h"
#include "platform/Console.h"
#include "platform/FileSystem.h"
#include "timeswitch/ControlFile.h"

TimeSwitch::TimeSwitch(ChannelContext& channels, int32_t slots, const std::tm& local)
    : channels_(channels), context_(channels.context), outputs_(channels.outputs), slots_(slots) {
  updateClock(local);
  channels_.clockChannels = this;
}

TimeSwitch::~TimeSwitch() {
  if (channels_.clockChannels == this) channels_.clockChannels = nullptr;
}

bool TimeSwitch::updateClock(const std::tm& local) {
  const int32_t wday = ((local.tm_wday % 7) + 7) % 7;
  weekTime_ = day_offset[wday] + local.tm_hour * 3600 + local.tm_min * 60;
  const bool weekTurns = prevWeekday_ == 0 && wday == 1;
  prevWeekday_ = wday;
  return weekTurns;
}

int32_t TimeSwitch::minuteTick(const std::tm& local) {
  int32_t changed = 0;
  if (updateClock(local)) {
    // Next switching times found last week lie at 604800 or above; a fresh
    // load moves them into the new week. A running timer does not matter.
    for (int32_t n = 0; n < slots_; ++n) {
      DigitalOutput* out = outputs_.get(n);
      if (out == nullptr || out->mode != MODE_UHR) continue;
      setSchaltuhrPunkte(out->controlFile);
      out->nextSwitch = table_[0].time;
    }
  }
  for (int32_t n = 0; n < slots_; ++n) evaluateOutput(n, changed);
  return changed;
}

// A state is only ever taken from a real entry: with an empty table (file
// missing or without points) the output stays as it is, nextSwitch becomes
// the empty entry's 0, and the file is read again at the next minute tick.
void TimeSwitch::evaluateOutput(int32_t n, int32_t& changed) {
  DigitalOutput* out = outputs_.get(n);
  if (out == nullptr || out->mode != MODE_UHR || out->timerMinutes != 0) return;

  if (out->nextSwitch < 0) {
    const int32_t count = setSchaltuhrPunkte(out->controlFile);
    out->nextSwitch = table_[0].time;
    // Before its next point the output holds the opposite of that point.
    if (count > 0 && out->nextSwitch > weekTime_) out->setValue(table_[0].on ? 0 : 1);
    showNextSwitch(*out);
    changed = 1;
  }
  if (out->nextSwitch > weekTime_) return;

  const int32_t count = setSchaltuhrPunkte(out->controlFile);
  if (out->nextSwitch == weekTime_) {
    // Due this minute: the fresh load put the due point first.
    out->nextSwitch = table_[1].time;
    if (count > 0) out->setValue(table_[0].on);
  } else {
    // Passed (missed ticks, clock set forward): the last entry is the point
    // nearest before now, counted cyclically over the week.
    out->nextSwitch = table_[0].time;
    if (count > 0) out->setValue(table_[static_cast<size_t>(count - 1)].on);
  }
  showNextSwitch(*out);
  changed = 1;
}

void TimeSwitch::showNextSwitch(DigitalOutput& out) {
  out.info = cut(formatWeekTime(out.nextSwitch), 31);
}

int32_t TimeSwitch::setSchaltuhrPunkte(const std::string& fileName) {
  table_.fill(SwitchPoint{});
  count_ = 0;

  // A directory is no control file either: it cannot be read.
  const std::optional<std::string> text = context_.files.readWhole(context_.path(fileName));
  if (!text) {
    context_.console.printf("Schaltuhr:setSchaltuhrPunkte: Kann Steuerdatei %s nicht oeffnen\n",
                            fileName.c_str());
    return -1;
  }

  const RawSwitchPoints raw = ParseControlFile(*text, weekTime_);
  if (raw.limitReached) {
    context_.console.printf("Schaltuhr: maximale Anzahl Schaltpunkte(%d) in %s ueberschritten\n",
                            kMaxSwitchPoints, fileName.c_str());
  }
  count_ = MergeSwitchPoints(raw.points, table_);
  return count_;
}

const SwitchPoint& TimeSwitch::point(int32_t i) const {
  static const SwitchPoint kEmpty{};
  return (i >= 0 && i < kMaxSwitchPoints) ? table_[static_cast<size_t>(i)] : kEmpty;
}

const char* TimeSwitch::formatWeekTime(int32_t weekTime) {
  int32_t t = weekTime;
  if (t >= kWeekSeconds) t -= kWeekSeconds;
  int32_t day = t / kDaySeconds;
  if (day > 6) day = 6;
  // Negative week times (negative hours in a control file) have no real
  // text; they are shown on Monday rather than read outside wdaystr.
  if (day < 0) day = 0;
  t -= day * kDaySeconds;
  const int32_t hour = t / 3600;
  const int32_t minute = (t - hour * 3600) / 60;
  std::snprintf(text_, sizeof text_, "%s %02d:%02d", wdaystr[day], hour, minute);
  return text_;
}
