#include "core/MainLoop.h"

#include <gtest/gtest.h>

#include <climits>

#include "platform/TcpClient.h"
#include "tests/support/FakeDevice.h"
#include "tests/support/TestInstallation.h"

namespace {

class MainLoopTest : public ::testing::Test {
 protected:
  // Starts the loop at start over the configuration ini and puts a probe
  // device into slot 3.
  void start(int64_t startTime, const std::string& ini = "") {
    inst = std::make_unique<TestInstallation>(startTime);
    inst->writeIni(ini);
    loop = std::make_unique<MainLoop>(inst->t(), 0, 0);
    ASSERT_EQ(loop->startUp(), 0);
    auto p = std::make_unique<FakeDevice>(inst->t(), 3);
    probe = p.get();
    inst->t().devices.put(3, std::move(p));
  }
  bool passAt(int64_t time) {
    inst->clock.set(time);
    return loop->pass();
  }

  std::unique_ptr<TestInstallation> inst;
  std::unique_ptr<MainLoop> loop;
  FakeDevice* probe = nullptr;
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

TEST_F(MainLoopTest, FirstPassOnASundayOrAWeekdayWritesNoHeader) {
  // A Sunday, weekday 0 and the start value of LastWeekday; a Tuesday.
  for (const int day : {6, 8}) {
    start(At(2026, 12, day, 10, 0, 0));
    passAt(At(2026, 12, day, 10, 0, 0));
    EXPECT_EQ(inst->log(), "\n10:00:00 Tessaro gestartet") << "December " << day;
  }
}

TEST_F(MainLoopTest, LogEntryOfAPassRefreshesTheMessageListAndTheSlowId) {
  start(At(2026, 12, 9, 12, 0, 30));
  passAt(At(2026, 12, 9, 12, 0, 30));  // the start entry is still new
  EXPECT_EQ(inst->t().eventLog.MessageList, "\n12:00:30 Tessaro gestartet");
  EXPECT_EQ(inst->t().SlowId, 1);
  passAt(At(2026, 12, 9, 12, 0, 31));
  EXPECT_EQ(inst->t().SlowId, 1);
  inst->t().log.LogEvent(0, "x");
  passAt(At(2026, 12, 9, 12, 0, 32));
  EXPECT_EQ(inst->t().SlowId, 2);
}

TEST_F(MainLoopTest, SlowIdWrapsAfterItsLargestValue) {
  start(At(2026, 12, 9, 12, 0, 30));
  inst->t().SlowId = INT32_MAX;
  passAt(At(2026, 12, 9, 12, 0, 30));
  EXPECT_EQ(inst->t().SlowId, INT32_MIN);
  EXPECT_NE(inst->slowXml().find("<slowid>-2147483648</slowid>"), std::string::npos);
}

// After a power cut nobody may be there to switch a boiler pump on again.
TEST_F(MainLoopTest, ConfiguredModesAreInTheImageAtStartAndReachTheDeviceAtTheFirstWritePass) {
  start(At(2026, 12, 9, 12, 0, 30),
        "[Devices]\ndev0=dummy_io\n[Digital_Outputs]\n"
        "out0=0,0,2,ein,Pumpe\nout1=0,1,-1,aus\nout2=0,2,-1,slave\nout3=0,3,-1,uhr,,none.txt\n");
  EXPECT_EQ(inst->console.output().find("DUMMYIO"), std::string::npos)
      << "no device is written before the loop runs";
  passAt(At(2026, 12, 9, 12, 0, 30));  // minute 0: no write pass yet
  const std::string slow = inst->slowXml();
  EXPECT_NE(slow.find("<outn>0</outn>\n   <valid>0</valid>\n   <value>1</value>\n   <mode>ein"),
            std::string::npos) << slow;
  EXPECT_NE(slow.find("<outn>2</outn>\n   <valid>0</valid>\n   <value>1</value>\n   <mode>slave"),
            std::string::npos) << slow;
  EXPECT_EQ(inst->log(), "\n12:00:30 Tessaro gestartet");

  passAt(At(2026, 12, 9, 12, 1, 0));
  EXPECT_NE(inst->console.output().find("DUMMYIO: 00000000000000000000000000000101\n"),
            std::string::npos) << inst->console.output();
  EXPECT_NE(inst->slowXml().find("<outn>0</outn>\n   <valid>1</valid>\n   <value>1</value>"),
            std::string::npos);
}

// The command port has no login, so an installation may keep it to one address.
TEST_F(MainLoopTest, ListenKeepsTheCommandPortToOneAddress) {
  auto reaches = [&](const char* address) {
    TcpClient c;
    return c.open() && c.connect(ParseIPv4(address), loop->port(), 2000);
  };
  start(At(2026, 12, 9, 12, 0, 30), "[TCP/IP]\nlisten=127.0.0.1\n");
  EXPECT_TRUE(reaches("127.0.0.1"));
  EXPECT_FALSE(reaches("127.0.0.2"));

  start(At(2026, 12, 9, 12, 0, 30), "[TCP/IP]\n");  // no key: every address
  EXPECT_TRUE(reaches("127.0.0.2"));
}

TEST(MainLoopListen, AddressThatCannotBeBoundEndsTheStartLikeATakenPort) {
  for (const char* value : {"localhost", "127.1", "192.0.2.1", "127.0.0.1 ", "x"}) {
    SCOPED_TRACE(value);
    TestInstallation inst;
    inst.writeIni(std::string("[TCP/IP]\nlisten=\"") + value + "\"\n");
    MainLoop loop(inst.t(), 0, 0);
    EXPECT_EQ(loop.startUp(), 1);
    EXPECT_NE(inst.console.output().find("\nSTART\nFehler Funktion bind\n"), std::string::npos);
  }
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
