#include "core/MainLoop.h"

#include <gtest/gtest.h>

#include "tests/support/TestInstallation.h"

namespace {

// A device that counts the loop's ticks.
class TickProbe final : public TessaroDev {
 public:
  explicit TickProbe(Tessaro& t) : TessaroDev(t) { devIndex = 3; }
  int32_t do_EverySecond() override {
    ++seconds;
    return 0;
  }
  int32_t do_EveryMinute() override {
    ++minutes;
    return 0;
  }
  int seconds = 0;
  int minutes = 0;
};

class MainLoopTest : public ::testing::Test {
 protected:
  // Starts the loop at start and puts a probe device into slot 3.
  void start(int64_t startTime) {
    inst = std::make_unique<TestInstallation>(startTime);
    loop = std::make_unique<MainLoop>(inst->t(), 0, 0);
    ASSERT_EQ(loop->startUp(), 0);
    auto p = std::make_unique<TickProbe>(inst->t());
    probe = p.get();
    inst->t().devices.put(3, std::move(p));
  }
  bool passAt(int64_t time) {
    inst->clock.set(time);
    return loop->pass();
  }

  std::unique_ptr<TestInstallation> inst;
  std::unique_ptr<MainLoop> loop;
  TickProbe* probe = nullptr;
};

TEST_F(MainLoopTest, StartAtSecondZeroGivesNoSecondTickInTheFirstPass) {
  start(At(2026, 12, 9, 12, 7, 0));
  passAt(At(2026, 12, 9, 12, 7, 0));
  EXPECT_EQ(probe->seconds, 0);
  EXPECT_EQ(probe->minutes, 1);
  passAt(At(2026, 12, 9, 12, 7, 1));
  EXPECT_EQ(probe->seconds, 1);
}

TEST_F(MainLoopTest, StartInMinuteZeroGivesNoMinuteTickUntilMinuteOne) {
  start(At(2026, 12, 9, 12, 0, 30));
  passAt(At(2026, 12, 9, 12, 0, 30));
  passAt(At(2026, 12, 9, 12, 0, 59));
  EXPECT_EQ(probe->minutes, 0);
  passAt(At(2026, 12, 9, 12, 1, 0));
  EXPECT_EQ(probe->minutes, 1);
}

TEST_F(MainLoopTest, MissedSecondsAndMinutesAreNotMadeUp) {
  start(At(2026, 12, 9, 12, 5, 10));
  passAt(At(2026, 12, 9, 12, 5, 10));
  const int seconds = probe->seconds;
  const int minutes = probe->minutes;
  passAt(At(2026, 12, 9, 12, 9, 40));  // four and a half minutes in one pass
  EXPECT_EQ(probe->seconds, seconds + 1);
  EXPECT_EQ(probe->minutes, minutes + 1);
  passAt(At(2026, 12, 9, 12, 9, 40));  // same second again
  EXPECT_EQ(probe->seconds, seconds + 1);
}

TEST_F(MainLoopTest, DayHeaderIsWrittenAfterMidnightAndNeverAtStartUp) {
  start(At(2026, 12, 9, 23, 59, 58));
  passAt(At(2026, 12, 9, 23, 59, 58));
  passAt(At(2026, 12, 9, 23, 59, 59));
  EXPECT_EQ(inst->log().find("-----"), std::string::npos);
  passAt(At(2026, 12, 10, 0, 0, 0));
  EXPECT_EQ(inst->log(), "\n23:59:58 Tessaro gestartet\n----- 10.12.2026 -----");
}

TEST_F(MainLoopTest, FirstPassOnASundayWritesNoHeader) {
  start(At(2026, 12, 6, 10, 0, 0));  // weekday 0, the start value of LastWeekday
  passAt(At(2026, 12, 6, 10, 0, 0));
  EXPECT_EQ(inst->log(), "\n10:00:00 Tessaro gestartet");
}

TEST_F(MainLoopTest, FirstPassOnAWeekdayWritesNoHeader) {
  start(At(2026, 12, 8, 10, 0, 0));  // a Tuesday
  passAt(At(2026, 12, 8, 10, 0, 0));
  EXPECT_EQ(inst->log(), "\n10:00:00 Tessaro gestartet");
}

TEST_F(MainLoopTest, LogEntryOfAPassRefreshesTheMessageListAndTheSlowId) {
  start(At(2026, 12, 9, 12, 0, 30));
  passAt(At(2026, 12, 9, 12, 0, 30));  // the start entry is still new
  EXPECT_EQ(inst->t().log.MessageList, "\n12:00:30 Tessaro gestartet");
  EXPECT_EQ(inst->t().SlowId, 1);
  passAt(At(2026, 12, 9, 12, 0, 31));
  EXPECT_EQ(inst->t().SlowId, 1);
  inst->t().log.LogEvent(0, "x");
  passAt(At(2026, 12, 9, 12, 0, 32));
  EXPECT_EQ(inst->t().SlowId, 2);
}

TEST_F(MainLoopTest, EscEndsTheLoopAndOtherKeysAreIgnored) {
  start(At(2026, 12, 9, 12, 0, 30));
  inst->console.pressKey('q');
  EXPECT_TRUE(passAt(At(2026, 12, 9, 12, 0, 30)));
  inst->console.pressKey(27);
  EXPECT_FALSE(passAt(At(2026, 12, 9, 12, 0, 31)));
  loop->shutDown();
  EXPECT_EQ(inst->log(), "\n12:00:30 Tessaro gestartet\n12:00:31 Tessaro beendet");
}

TEST_F(MainLoopTest, StopSignalEndsTheLoopLikeEsc) {
  start(At(2026, 12, 9, 12, 0, 30));
  inst->console.requestStop();
  EXPECT_FALSE(passAt(At(2026, 12, 9, 12, 0, 30)));
}

TEST_F(MainLoopTest, StartUpReportsAndStopsWhenThePortIsTaken) {
  start(At(2026, 12, 9, 12, 0, 30));
  TestInstallation second;
  MainLoop clash(second.t(), loop->port(), 0);
  EXPECT_EQ(clash.startUp(), 1);
  EXPECT_NE(second.console.output().find("\nSTART\nFehler Funktion bind\n"), std::string::npos);
  EXPECT_EQ(second.log(), "") << "nothing is logged when the network cannot be set up";
}

}  // namespace
