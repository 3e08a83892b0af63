#include "timeswitch/TimeSwitch.h"

// Placeholder until the time switch lands: channels in mode "uhr" stay as
// they are.
TimeSwitch::TimeSwitch(Tessaro& t, OutputTable& outputs, int32_t slots, const std::tm& local)
    : t_(t), outputs_(outputs), slots_(slots) {
  updateClock(local);
}

bool TimeSwitch::updateClock(const std::tm&) { return false; }
int32_t TimeSwitch::minuteTick(const std::tm& local) {
  updateClock(local);
  return 0;
}
void TimeSwitch::evaluateOutput(int32_t, int32_t&) {}
