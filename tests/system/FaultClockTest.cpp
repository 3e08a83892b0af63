// The wall clock jumps: forward by hours, back by an hour, and the hour that
// the end of daylight saving repeats. The program runs under libfaketime,
// whose clock the test moves while it runs. Ticks fire on a change of a time
// field, so a jump is one tick, never the hours it skipped. Each case starts
// half a minute before its moment and is moved close to it once set up, so a
// slow start cannot let the moment pass unseen.
#include <gtest/gtest.h>

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
    p = inst.startAt(t0, TESSARO_BINARY);
    ASSERT_TRUE(p) << inst.why;
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
  bool waitForTimer(int minutes) const {
    return WaitUntil([&] { return timer() == minutes; }, 10000);
  }
  bool waitForTicks(size_t n) const {
    return WaitUntil([&] { return ticks() >= n; }, 15000);
  }
  size_t dayHeaders() const { return CountOf(inst.log(), "\n----- "); }

  ServerInstallation inst{kIni};
  std::unique_ptr<Process> p;
};

TEST_F(FaultClockTest, JumpsForwardAndBackAreOneTickEachAndOneDayHeader) {
  const int64_t t0 = At(2026, 12, 9, 22, 59, 58);  // 23:59:58 in Berlin
  startAt(t0 - 28);
  const size_t startTicks = ticks();
  EXPECT_EQ(startTicks, 1u);  // the first pass's minute tick
  ASSERT_TRUE(Serves());
  const Resources before = ReadResources(p->pid());

  // Midnight passes in real time: one header, one tick.
  inst.setFakeTime(t0);
  EXPECT_TRUE(WaitUntil([&] { return dayHeaders() > 0; }, 15000));
  EXPECT_NE(inst.log().find("\n----- 10.12.2026 -----"), std::string::npos) << inst.log();
  EXPECT_TRUE(waitForTimer(4));
  EXPECT_EQ(ticks(), startTicks + 1);

  // Three hours and ten minutes ahead: one tick, the timer loses one minute.
  inst.setFakeTime(t0 + 3 + 3 * 3600 + 600);
  EXPECT_TRUE(waitForTicks(startTicks + 2));
  EXPECT_TRUE(waitForTimer(3));
  EXPECT_TRUE(Serves());

  // One hour back: the minute field is the same, so nothing ticks. The pass
  // that answers the first request has run its minute work before the
  // second request is accepted, and it ran at the new time.
  inst.setFakeTime(t0 + 4 + 2 * 3600 + 600);
  EXPECT_TRUE(Serves());
  EXPECT_TRUE(Serves());
  EXPECT_EQ(ticks(), startTicks + 2);
  EXPECT_EQ(timer(), 3);
  EXPECT_TRUE(Serves());

  EXPECT_EQ(dayHeaders(), 1u) << inst.log();
  EXPECT_TRUE(StatusFilesComplete(inst.debug));
  EXPECT_TRUE(NoGrowth(before, ReadResources(p->pid())));
  EXPECT_EQ(Stop(*p), 0);
}

TEST_F(FaultClockTest, EndOfDaylightSavingRepeatsTheHourWithoutDayHeader) {
  // 02:59:58 summer time; two seconds later it is 02:00:00 winter time.
  const int64_t t0 = At(2026, 10, 25, 0, 59, 58);
  startAt(t0 - 28);
  const size_t startTicks = ticks();
  ASSERT_TRUE(Serves());
  const Resources before = ReadResources(p->pid());

  inst.setFakeTime(t0);
  EXPECT_TRUE(waitForTicks(startTicks + 1));
  EXPECT_TRUE(waitForTimer(4));
  EXPECT_TRUE(Serves());
  {
    CommandClient c(1969);
    EXPECT_EQ(c.request("cmd=dout&username=fault&outn=0&mode=aus\r\n"), "ok\r\n");
  }
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
