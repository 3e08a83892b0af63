// The wall clock jumps: forward by hours, back by an hour, and the hour that
// the end of daylight saving repeats. The program runs under libfaketime,
// whose clock the test moves while it runs. Ticks fire on a change of a time
// field, so a jump is one tick, never the hours it skipped.
#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <string>

#include "tests/support/FaultHarness.h"
#include "tests/support/TestInstallation.h"

namespace {

// dev1 names a data file that does not exist: its minute work prints one
// console line per minute tick, which counts the ticks.
const char kIni[] =
    "[Devices]\ndev0=dummy_io\ndev1=klimaloggpro\n[Files]\ndev1=./none.dat\n"
    "[Digital_Outputs]\nout0=0,0,-1,aus,Pumpe\n";
const char kTick[] = "GetPrivateProfileString FAILED";

class FaultClockTest : public ::testing::Test {
 protected:
  void startAt(int64_t t0) {
    p = inst.start(TESSARO_BINARY, &why, t0);
    ASSERT_TRUE(p) << why;
    CommandClient c(1969);
    ASSERT_EQ(c.request("cmd=dout_timer&username=fault&outn=0&time=5&output=true\r\n"), "ok\r\n");
    ASSERT_TRUE(waitForTimer(5));
  }
  size_t ticks() const { return CountOf(p->output(), kTick); }
  int timer() const {
    static const std::regex re("<outn>0</outn>[^]*?<timer_time>(-?\\d+)</timer_time>");
    std::smatch m;
    const std::string slow = ReadFile(inst.debug + "/slow.xml");
    return std::regex_search(slow, m, re) ? std::stoi(m[1]) : -999;
  }
  bool waitForTimer(int minutes, int timeoutMs = 3000) const {
    for (int waited = 0; timer() != minutes; waited += 20) {
      if (waited >= timeoutMs) return false;
      SleepMs(20);
    }
    return true;
  }
  bool waitForTicks(size_t n, int timeoutMs = 3000) const {
    for (int waited = 0; ticks() < n; waited += 20) {
      if (waited >= timeoutMs) return false;
      SleepMs(20);
    }
    return true;
  }
  size_t dayHeaders() const { return CountOf(inst.log(), "\n----- "); }

  FaultInstallation inst{kIni};
  std::string why;
  std::unique_ptr<Process> p;
};

TEST_F(FaultClockTest, JumpsForwardAndBackAreOneTickEachAndOneDayHeader) {
  const int64_t t0 = At(2026, 12, 9, 22, 59, 56);  // 23:59:56 in Berlin
  startAt(t0);
  const size_t startTicks = ticks();
  EXPECT_EQ(startTicks, 1u);  // the first pass's minute tick
  ASSERT_TRUE(Serves());
  const Resources before = ReadResources(p->pid());

  // Midnight passes in real time: one header, one tick.
  for (int waited = 0; dayHeaders() == 0 && waited < 8000; waited += 50) SleepMs(50);
  EXPECT_NE(inst.log().find("\n----- 10.12.2026 -----"), std::string::npos) << inst.log();
  EXPECT_TRUE(waitForTimer(4));
  EXPECT_EQ(ticks(), startTicks + 1);

  // Three hours and ten minutes ahead: one tick, the timer loses one minute.
  inst.setFakeTime(t0 + 5 + 3 * 3600 + 600);
  EXPECT_TRUE(waitForTicks(startTicks + 2));
  EXPECT_TRUE(waitForTimer(3));
  EXPECT_TRUE(Serves());

  // One hour back: the minute field is the same, so nothing ticks.
  inst.setFakeTime(t0 + 6 + 2 * 3600 + 600);
  SleepMs(1500);
  EXPECT_EQ(ticks(), startTicks + 2);
  EXPECT_EQ(timer(), 3);
  EXPECT_TRUE(Serves());

  EXPECT_EQ(dayHeaders(), 1u) << inst.log();
  EXPECT_TRUE(StatusFilesComplete(inst.debug));
  EXPECT_TRUE(NoGrowth(before, ReadResources(p->pid())));
  EXPECT_EQ(Stop(*p), 0);
}

TEST_F(FaultClockTest, EndOfDaylightSavingRepeatsTheHourWithoutDayHeader) {
  // 02:59:56 summer time; four seconds later it is 02:00:00 winter time.
  const int64_t t0 = At(2026, 10, 25, 0, 59, 56);
  startAt(t0);
  const size_t startTicks = ticks();
  ASSERT_TRUE(Serves());
  const Resources before = ReadResources(p->pid());

  EXPECT_TRUE(waitForTicks(startTicks + 1, 8000));
  EXPECT_TRUE(waitForTimer(4));
  EXPECT_TRUE(Serves());
  {
    CommandClient c(1969);
    EXPECT_EQ(c.request("cmd=dout&username=fault&outn=0&mode=aus\r\n"), "ok\r\n");
  }
  SleepMs(500);
  // The entry is stamped with the repeated hour's local time.
  EXPECT_TRUE(std::regex_search(inst.log(), std::regex("\n02:00:0\\d \\[f\\] Pumpe: aus")))
      << inst.log();
  EXPECT_EQ(ticks(), startTicks + 1);
  EXPECT_EQ(dayHeaders(), 0u) << inst.log();
  EXPECT_TRUE(StatusFilesComplete(inst.debug));
  EXPECT_TRUE(NoGrowth(before, ReadResources(p->pid())));
  EXPECT_EQ(Stop(*p), 0);
}

}  // namespace
