// The time switch's control file: ParseControlFile and MergeSwitchPoints on
// the text, setSchaltuhrPunkte on the same text in a file, and the
// evaluation of a channel in clock mode over it. Input: two bytes that pick
// the minute of the week the load happens at (big-endian, modulo 10080),
// then the control file.

#include <cstdint>
#include <memory>
#include <string>

#include "core/Tessaro.h"
#include "devices/DummyIO.h"
#include "devices/OutputTable.h"
#include "fuzz/FuzzSupport.h"
#include "timeswitch/ControlFile.h"
#include "timeswitch/SwitchTable.h"
#include "timeswitch/TimeSwitch.h"

namespace {

constexpr int32_t kWeekMinutes = 7 * 24 * 60;

// Ascending times, alternating states, empty entries behind the count.
void CheckTable(const SwitchTable& table, int32_t count) {
  FUZZ_CHECK(count >= 0 && count <= kMaxSwitchPoints);
  for (int32_t i = 1; i < count; ++i) {
    const SwitchPoint& a = table[static_cast<size_t>(i - 1)];
    const SwitchPoint& b = table[static_cast<size_t>(i)];
    FUZZ_CHECK(a.time <= b.time);
    FUZZ_CHECK(a.on != b.on);
  }
  for (int32_t i = count; i < kMaxSwitchPoints; ++i) {
    FUZZ_CHECK(table[static_cast<size_t>(i)].time == 0 && table[static_cast<size_t>(i)].on == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  TestInstallation& inst = SharedInstallation();
  const int32_t minuteOfWeek = (data[0] * 256 + data[1]) % kWeekMinutes;
  const std::string_view text = AsText(data + 2, size - 2);

  // Monday 2026-12-07 00:00 UTC plus the minute of the week.
  inst.clock.set(At(2026, 12, 7, 0, 0, 0) + int64_t{minuteOfWeek} * 60);
  inst.console.take();
  Tessaro t(inst.clock, inst.console, inst.files(), inst.dir());
  t.readClock();

  const int32_t weekTime = minuteOfWeek * 60;
  const RawSwitchPoints raw = ParseControlFile(text, weekTime);
  FUZZ_CHECK(raw.points.size() <= static_cast<size_t>(kMaxSwitchPoints));
  FUZZ_CHECK(raw.limitReached == (raw.points.size() == static_cast<size_t>(kMaxSwitchPoints)));
  SwitchTable table{};
  const int32_t count = MergeSwitchPoints(raw.points, table);
  CheckTable(table, count);
  // Points are moved one week on once; times are not validated, so negative
  // hours may still lie before the load time, but never two weeks ahead.
  for (int32_t i = 0; i < count; ++i)
    FUZZ_CHECK(table[static_cast<size_t>(i)].time < 2 * kWeekSeconds);

  inst.writeFile("steuer.txt", std::string(text));
  t.devices.put(0, std::make_unique<DummyIO>(t, 0));
  t.outputs.put(0, std::make_unique<DigitalOutput>(t, 0, t.devices.get(0), 0, MODE_UHR, -1,
                                                   "Heizung", "steuer.txt"));
  t.startTimeSwitch();
  TimeSwitch& ts = *t.timeSwitch;
  FUZZ_CHECK(ts.weekTime() == weekTime);

  // The file gives the table the text gives.
  FUZZ_CHECK(ts.setSchaltuhrPunkte("steuer.txt") == count);
  for (int32_t i = 0; i < kMaxSwitchPoints; ++i) {
    FUZZ_CHECK(ts.point(i).time == table[static_cast<size_t>(i)].time);
    FUZZ_CHECK(ts.point(i).on == table[static_cast<size_t>(i)].on);
    if (i < count) ts.formatWeekTime(ts.point(i).time);
  }

  // A day of ticks over the channel in clock mode; a channel with an empty
  // table reloads its file at every tick, so they are few.
  for (int tick = 0; tick < 24; ++tick) {
    inst.clock.advance(61 * 60);
    t.readClock();
    ts.minuteTick(t.CurrentTime.local);
    FUZZ_CHECK(t.outputs.get(0)->info.size() <= kOutputTextMax);
  }
  return 0;
}
