#include "timeswitch/TimeSwitch.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/MainLoop.h"
#include "devices/DummyIO.h"
#include "tests/support/TestInstallation.h"
#include "tools/support/Bytes.h"

namespace {

// The week of 2026-12-07 (Monday) ... 2026-12-13 (Sunday), and the next Monday.
int64_t Mon(int h, int m) { return At(2026, 12, 7, h, m, 0); }
int64_t Wed(int h, int m) { return At(2026, 12, 9, h, m, 0); }
int64_t Fri(int h, int m) { return At(2026, 12, 11, h, m, 0); }
int64_t Sun(int h, int m) { return At(2026, 12, 13, h, m, 0); }
int64_t NextMon(int h, int m) { return At(2026, 12, 14, h, m, 0); }

const char* const kDaily = "1111111 06:00 on\n1111111 22:00 off\n";
const char* const kMissingFileMessage =
    "Schaltuhr:setSchaltuhrPunkte: Kann Steuerdatei fehlt.txt nicht oeffnen\n";

// What a channel shows: its output bit, next switch time and info text.
using State = std::tuple<int, int32_t, std::string>;

State StateOf(Tessaro& t, int32_t n) {
  const DigitalOutput& out = *t.outputs.get(n);
  return {t.devices.get(0)->getOutputBit(n), out.nextSwitch, out.info};
}

// A time switch over channels built by hand on one dummy device; channel n
// drives output n.
class TimeSwitchTest : public ::testing::Test {
 protected:
  void start(int64_t now) {
    inst = std::make_unique<TestInstallation>(now);
    Tessaro& t = inst->t();
    t.devices.put(0, std::make_unique<DummyIO>(t, 0));
    t.startTimeSwitch();
    ts = t.timeSwitch.get();
  }
  DigitalOutput& channel(int32_t n, int32_t mode, const std::string& file) {
    return PutChannel(inst->t(), n, inst->t().devices.get(0), n, mode, -1, "", file);
  }
  State state(int32_t n) const { return StateOf(inst->t(), n); }
  int32_t tick(int64_t now) {
    inst->setTime(now);
    return ts->minuteTick(inst->t().CurrentTime.local);
  }
  int32_t evaluate(int32_t n) {
    int32_t changed = 0;
    ts->evaluateOutput(n, changed);
    return changed;
  }

  std::unique_ptr<TestInstallation> inst;
  TimeSwitch* ts = nullptr;
};

TEST_F(TimeSwitchTest, FormatWeekTimeShowsDayHourAndMinute) {
  start(Wed(12, 0));
  const std::pair<int32_t, const char*> rows[] = {
      {0, "Mo 00:00"},      {252000, "Mi 22:00"}, {626400, "Mo 06:00"},
      {604799, "So 23:59"}, {604800, "Mo 00:00"}, {604800 + 3600, "Mo 01:00"},
      {W(4, 13, 59) + 59, "Fr 13:59"},
      // Only one week is taken back: the rest stays on Sunday.
      {2 * 604800 + 3600, "So 25:00"},
  };
  for (const auto& [weekTime, text] : rows) {
    SCOPED_TRACE(weekTime);
    EXPECT_STREQ(ts->formatWeekTime(weekTime), text);
  }
}

TEST_F(TimeSwitchTest, WeekTimeCountsWholeMinutesFromMonday) {
  start(Wed(12, 0) + 30);
  EXPECT_EQ(ts->weekTime(), W(2, 12, 0));
  tick(Sun(23, 59) + 59);
  EXPECT_EQ(ts->weekTime(), 604740);
  tick(NextMon(0, 0));
  EXPECT_EQ(ts->weekTime(), 0);
}

TEST_F(TimeSwitchTest, WeekTurnsOnlyFromSundayToMonday) {
  start(Mon(0, 0));
  // In turn: the clock is read at now and the week turns or not.
  const std::tuple<const char*, int64_t, bool> rows[] = {
      {"started on a Monday: there was no Sunday before", Mon(0, 0), false},
      {"Sunday", Sun(23, 59), false},
      {"Sunday to Monday", NextMon(0, 0), true},
      {"the same Monday again", NextMon(0, 0), false},
      {"Saturday", At(2026, 12, 19, 12, 0, 0), false},
      {"Monday, Sunday skipped", At(2026, 12, 21, 12, 0, 0), false},
  };
  for (const auto& [when, now, turns] : rows) {
    SCOPED_TRACE(when);
    inst->setTime(now);
    EXPECT_EQ(ts->updateClock(inst->t().CurrentTime.local), turns);
  }
}

// A scenario of one clock channel over a control file: each step is a
// minute tick, or at kEvaluate an evaluation alone, with what it reports
// changed and what the channel shows after it.
constexpr int64_t kEvaluate = 0;

struct Step {
  int64_t at;
  int32_t changed;
  State state;
};

struct Scenario {
  const char* name;
  int64_t start;
  const char* programme;
  bool onBefore;  // the output set on by hand before the first step
  std::vector<Step> steps;
};

void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

class TimeSwitchScenario : public TimeSwitchTest,
                           public ::testing::WithParamInterface<Scenario> {};

TEST_P(TimeSwitchScenario, StepsAsItsProgrammeSays) {
  const Scenario& s = GetParam();
  start(s.start);
  inst->writeFile("prog.txt", s.programme);
  DigitalOutput& out = channel(0, MODE_UHR, "prog.txt");
  if (s.onBefore) out.setValue(1);
  for (const Step& step : s.steps) {
    SCOPED_TRACE(::testing::Message() << "step " << &step - s.steps.data() + 1);
    EXPECT_EQ(step.at == kEvaluate ? evaluate(0) : tick(step.at), step.changed);
    EXPECT_EQ(state(0), step.state);
  }
  EXPECT_EQ(inst->console.output(), "");
}

const Scenario kScenarios[] = {
    {"FirstEvaluationHoldsTheStateBeforeTheNextPoint", Wed(12, 0), kDaily, false,
     {{kEvaluate, 1, {1, 252000, "Mi 22:00"}},
      // Until the point is due nothing changes and nothing is reported.
      {kEvaluate, 0, {1, 252000, "Mi 22:00"}},
      {Wed(21, 59), 0, {1, 252000, "Mi 22:00"}}}},
    {"DuePointSwitchesInItsMinute", Wed(12, 0), kDaily, false,
     {{kEvaluate, 1, {1, 252000, "Mi 22:00"}},
      {Wed(22, 0), 1, {0, 280800, "Do 06:00"}},
      {At(2026, 12, 10, 6, 0, 0), 1, {1, W(3, 22, 0), "Do 22:00"}}}},
    {"MissedPointIsCaughtAtNextTick", Wed(12, 0), kDaily, false,
     {{Wed(21, 59), 1, {1, 252000, "Mi 22:00"}}, {Wed(22, 5), 1, {0, 280800, "Do 06:00"}}}},
    {"PointDueAtTheFirstEvaluationIsAppliedAtOnce", Wed(22, 0), kDaily, true,
     {{kEvaluate, 1, {0, 280800, "Do 06:00"}}}},
    {"TurnOfTheWeekReloadsNextSwitchIntoTheNewWeek", Fri(23, 0),
     "1111100 06:00 on\n1111100 22:00 off\n", false,
     {{Fri(23, 0), 1, {0, 626400, "Mo 06:00"}},
      {Sun(23, 59), 0, {0, 626400, "Mo 06:00"}},
      {NextMon(0, 0), 0, {0, 21600, "Mo 06:00"}},
      {NextMon(5, 59), 0, {0, 21600, "Mo 06:00"}},
      {NextMon(6, 0), 1, {1, W(0, 22, 0), "Mo 22:00"}}}},
    {"MondayMidnightPointSwitchesAtTheTurnOfTheWeek", Sun(20, 0),
     "1111111 00:00 on\n1111111 12:00 off\n", false,
     {{Sun(20, 0), 1, {0, 604800, "Mo 00:00"}}, {NextMon(0, 0), 1, {1, 43200, "Mo 12:00"}}}},
    {"FileWithoutPointsLeavesTheOutputSilently", Wed(12, 0), "; noch kein Programm\n", true,
     {{Wed(12, 0), 1, {1, 0, "Mo 00:00"}}, {Wed(12, 1), 1, {1, 0, "Mo 00:00"}}}},
    // Due with no entry after it: the empty entry's 0 is taken as next time.
    {"SinglePointFileKeepsItsStateAfterItsDueMinute", Mon(5, 0), "1000000 06:00 on\n", true,
     {{Mon(5, 0), 1, {0, 21600, "Mo 06:00"}},
      {Mon(6, 0), 1, {1, 0, "Mo 00:00"}},
      {Mon(6, 1), 1, {1, 626400, "Mo 06:00"}}}},
};

INSTANTIATE_TEST_SUITE_P(
    TimeSwitch, TimeSwitchScenario, ::testing::ValuesIn(kScenarios),
    [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

TEST_F(TimeSwitchTest, RunningTimerKeepsOutputNextSwitchAndInfo) {
  start(Wed(12, 0));
  inst->writeFile("heizung.txt", kDaily);
  DigitalOutput& out = channel(0, MODE_UHR, "heizung.txt");
  tick(Wed(12, 0));
  ASSERT_EQ(StartOutputTimer(inst->t(), 0, 9000, 1), 0);
  ASSERT_EQ(out.info, "9000");

  EXPECT_EQ(tick(Wed(22, 0)), 0);
  EXPECT_EQ(state(0), State(1, 252000, "9000"));

  // The turn of the week reloads every clock channel, timer or not, but sets
  // neither output nor info.
  tick(Sun(23, 59));
  EXPECT_EQ(state(0), State(1, 252000, "9000"));
  tick(NextMon(0, 0));
  EXPECT_EQ(state(0), State(1, 21600, "9000"));

  // The timer ends: the mode is applied again and the evaluation starts afresh.
  ASSERT_EQ(StartOutputTimer(inst->t(), 0, 0, 1), 0);
  EXPECT_EQ(out.timerMinutes, 0);
  EXPECT_EQ(state(0), State(0, 21600, "Mo 06:00"));
}

TEST_F(TimeSwitchTest, ChannelNotInClockModeIsNeverTouched) {
  start(Wed(12, 0));
  inst->writeFile("heizung.txt", kDaily);
  channel(1, MODE_AUS, "heizung.txt").setValue(1);
  channel(2, MODE_EIN, "fehlt.txt").setValue(1);
  channel(3, MODE_SLAVE, "heizung.txt");
  const std::pair<int32_t, int> bits[] = {{1, 1}, {2, 1}, {3, 0}};
  for (const int64_t now : {Wed(12, 0), Wed(22, 0), Sun(23, 59), NextMon(0, 0), NextMon(6, 0)}) {
    SCOPED_TRACE(now);
    EXPECT_EQ(tick(now), 0);
    for (const auto& [n, on] : bits) EXPECT_EQ(state(n), State(on, -1, " ")) << "channel " << n;
  }
  EXPECT_EQ(inst->console.output(), "");
}

TEST_F(TimeSwitchTest, EmptySlotsAndNumbersOutOfRangeAreSkipped) {
  start(Wed(12, 0));
  for (const int32_t n : {0, 5, 31, 32, -1, 100000}) EXPECT_EQ(evaluate(n), 0) << n;
  EXPECT_EQ(tick(Wed(22, 0)), 0);
  EXPECT_EQ(inst->console.output(), "");
}

TEST_F(TimeSwitchTest, MissingControlFileLeavesTheOutputAndIsRetriedEveryMinute) {
  start(Wed(12, 0));
  channel(0, MODE_UHR, "fehlt.txt").setValue(1);
  // The first evaluation loads, finds nextSwitch 0 passed and loads again.
  EXPECT_EQ(tick(Wed(12, 0)), 1);
  EXPECT_EQ(CountOf(inst->console.take(), kMissingFileMessage), 2u);
  EXPECT_EQ(state(0), State(1, 0, "Mo 00:00"));
  for (const int64_t now : {Wed(12, 1), Wed(12, 2), Sun(23, 59), NextMon(0, 0), NextMon(0, 1)}) {
    SCOPED_TRACE(now);
    tick(now);
    EXPECT_EQ(state(0), State(1, 0, "Mo 00:00"));
  }
  // Once a minute, and once more for the reload at the turn of the week.
  EXPECT_EQ(CountOf(inst->console.output(), kMissingFileMessage), 6u);

  inst->console.take();
  inst->writeFile("fehlt.txt", kDaily);
  EXPECT_EQ(tick(NextMon(0, 2)), 1);
  EXPECT_EQ(state(0), State(0, 21600, "Mo 06:00"));
  EXPECT_EQ(inst->console.output(), "");
}

// Channels configured in Tessaro.ini and driven through the main loop.
class TimeSwitchLoop : public ::testing::Test {
 protected:
  void start(int64_t now) {
    inst = std::make_unique<TestInstallation>(now);
    inst->writeIni(
        "[Devices]\n"
        "dev0=dummy_io\n"
        "[Digital_Outputs]\n"
        "out0=0,0,-1,uhr,Heizung,heizung.txt\n"
        "out1=0,1,-1,ein,Licht,heizung.txt\n"
        "out2=0,2,-1,uhr,Fehlt,fehlt.txt\n");
    inst->writeFile("heizung.txt",
                    "; Werktage\n1111100 06:00 on\n1111100 22:00 off\n"
                    "; Wochenende\n0000011 08:00 on\n0000011 23:00 off\n");
    loop = std::make_unique<MainLoop>(inst->t(), 0, 0);
    ASSERT_EQ(loop->startUp(), 0);
    ASSERT_NE(inst->t().outputs.get(0), nullptr);
  }
  void passAt(int64_t now) {
    inst->clock.set(now);
    loop->pass();
  }
  DigitalOutput& out(int32_t n) { return *inst->t().outputs.get(n); }
  int bit(int n) const { return inst->t().devices.get(0)->getOutputBit(n); }
  State state(int32_t n) const { return StateOf(inst->t(), n); }

  std::unique_ptr<TestInstallation> inst;
  std::unique_ptr<MainLoop> loop;
};

// The programme of heizung.txt, independent of the loader: on when the
// latest point at or before the week time (cyclically) is on.
int expectedHeating(int32_t weekTime) {
  std::vector<std::pair<int32_t, int>> points;
  for (int d = 0; d < 5; ++d) points.insert(points.end(), {{W(d, 6, 0), 1}, {W(d, 22, 0), 0}});
  for (int d = 5; d < 7; ++d) points.insert(points.end(), {{W(d, 8, 0), 1}, {W(d, 23, 0), 0}});
  int32_t bestTime = -1;
  int state = 0;  // Sunday 23:00 off holds before Monday 06:00
  for (const auto& [time, on] : points) {
    if (time <= weekTime && time > bestTime) {
      bestTime = time;
      state = on;
    }
  }
  return state;
}

TEST_F(TimeSwitchLoop, ClockChannelFollowsItsProgrammeForAWholeWeek) {
  const int64_t begin = Wed(12, 7);
  start(begin + 30);
  int32_t changed = 0;
  ASSERT_EQ(SetOutputMode(inst->t(), 1, MODE_EIN, changed), 0);
  passAt(begin + 30);
  EXPECT_EQ(out(0).info, "Mi 22:00");
  EXPECT_EQ(bit(0), 1);
  EXPECT_EQ(CountOf(inst->console.take(), kMissingFileMessage), 2u);

  int switches = 0;
  int mismatches = 0;
  int previous = bit(0);
  for (int m = 1; m <= 7 * 1440; ++m) {
    const int64_t now = begin + m * 60;
    passAt(now);
    const int32_t weekTime = (W(2, 12, 7) + m * 60) % 604800;
    if (bit(0) != expectedHeating(weekTime) && ++mismatches <= 5) {
      ADD_FAILURE() << "output at week time " << weekTime << " is " << bit(0);
    }
    if (bit(0) != previous) ++switches;
    previous = bit(0);
    if (weekTime == W(2, 22, 0)) {
      EXPECT_EQ(out(0).info, "Do 06:00");
    }
    if (weekTime == W(6, 23, 59)) {
      EXPECT_EQ(out(0).nextSwitch, 626400);
    }
    if (weekTime == 0) {
      EXPECT_EQ(out(0).nextSwitch, 21600);
    }
    // Once a minute, and once more at the turn of the week for the reload.
    const size_t messages = CountOf(inst->console.take(), kMissingFileMessage);
    if (messages != (weekTime == 0 ? 2u : 1u) && ++mismatches <= 5) {
      ADD_FAILURE() << "missing file reported " << messages << " times at week time " << weekTime;
    }
    EXPECT_EQ(bit(1), 1);
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(switches, 14);
  EXPECT_EQ(out(1).nextSwitch, -1);
  EXPECT_EQ(out(1).info, " ");
  EXPECT_EQ(out(2).info, "Mo 00:00");
  EXPECT_EQ(bit(2), 0);
}

TEST_F(TimeSwitchLoop, MissedPointIsCaughtFiveMinutesLater) {
  start(Wed(21, 58) + 30);
  passAt(Wed(21, 58) + 30);
  passAt(Wed(21, 59));
  ASSERT_EQ(bit(0), 1);
  passAt(Wed(22, 5));
  EXPECT_EQ(state(0), State(0, 280800, "Do 06:00"));
}

TEST_F(TimeSwitchLoop, TimerKeepsTheTimeSwitchAwayUntilItExpires) {
  start(Wed(21, 49) + 30);
  passAt(Wed(21, 49) + 30);
  passAt(Wed(21, 50));
  passAt(Wed(21, 50) + 10);
  ASSERT_EQ(StartOutputTimer(inst->t(), 0, 30, 1), 0);
  for (int m = 1; m < 30; ++m) {
    SCOPED_TRACE(std::to_string(m) + " minutes after 21:50");
    passAt(Wed(21, 50) + m * 60);
    EXPECT_EQ(bit(0), 1);
    EXPECT_EQ(out(0).nextSwitch, 252000);
  }
  EXPECT_EQ(out(0).info, "0001");
  passAt(Wed(22, 20));
  EXPECT_EQ(out(0).timerMinutes, 0);
  EXPECT_EQ(state(0), State(0, 280800, "Do 06:00"));
}

}  // namespace
