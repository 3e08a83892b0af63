// Faults of the devices: a power switch that refuses, stays silent, talks
// garbage or drops the connection; a serial module hung up while it is
// polled; a climate data file rewritten, truncated or turned to garbage.
#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <string>

#include "tests/support/FaultHarness.h"
#include "tests/support/TestInstallation.h"
#include "tests/support/Pty.h"

namespace {

// Waits until the file holds a match of pattern.
bool WaitForMatch(const std::string& path, const std::string& pattern, int timeoutMs = 3000) {
  const std::regex re(pattern);
  for (int waited = 0;; waited += 20) {
    if (std::regex_search(ReadFile(path), re)) return true;
    if (waited >= timeoutMs) return false;
    SleepMs(20);
  }
}

bool WaitForLog(const FaultInstallation& inst, const std::string& text, size_t count = 1,
                int timeoutMs = 3000) {
  for (int waited = 0;; waited += 20) {
    if (CountOf(inst.log(), text) >= count) return true;
    if (waited >= timeoutMs) return false;
    SleepMs(20);
  }
}

class FaultNetioTest : public ::testing::TestWithParam<FaultyNetio::Mode> {};

TEST_P(FaultNetioTest, FailedExchangesAreLoggedAndTheLoopServesBetweenThem) {
  FaultyNetio netio(GetParam());
  FaultInstallation inst(
      "[Devices]\ndev0=dummy_io\ndev1=netio230b\n[TCP/IP]\ndev1=127.0.0.1," +
      std::to_string(netio.port()) +
      "\n[Digital_Outputs]\nout0=0,0,-1,aus,Pumpe\nout2=1,0,-1,aus,Steckdose\n");
  std::string why;
  auto p = inst.start(TESSARO_BINARY, &why);
  ASSERT_TRUE(p) << why;
  const std::string failed = "dev1(NetIo230b): Datenausgabe fehlgeschlagen";
  // The first pass's write pass has met the switch already.
  ASSERT_TRUE(WaitForLog(inst, failed));
  ASSERT_TRUE(Serves());
  const Resources before = ReadResources(p->pid());
  const size_t failuresBefore = CountOf(inst.log(), failed);

  const char* modes[] = {"ein", "aus", "ein"};
  for (const char* mode : modes) {
    EXPECT_EQ(inst.dout(2, mode, "Steckdose"), "ok\r\n");
    EXPECT_TRUE(Serves());
  }
  EXPECT_GE(CountOf(inst.log(), failed), failuresBefore + 3) << inst.log();
  if (GetParam() != FaultyNetio::Mode::Refuse) {
    EXPECT_GE(netio.connections(), 4);
  }
  SleepMs(200);
  EXPECT_TRUE(WaitForMatch(inst.debug + "/slow.xml",
                           "<outn>2</outn>\n   <valid>0</valid>\n   <value>1</value>"));
  EXPECT_TRUE(StatusFilesComplete(inst.debug));
  EXPECT_TRUE(inst.everyCommandLogged());
  EXPECT_TRUE(NoGrowth(before, ReadResources(p->pid())));
  EXPECT_EQ(Stop(*p), 0);
}

INSTANTIATE_TEST_SUITE_P(FaultSwitch, FaultNetioTest,
                         ::testing::Values(FaultyNetio::Mode::Refuse, FaultyNetio::Mode::Silent,
                                           FaultyNetio::Mode::Garbage,
                                           FaultyNetio::Mode::DropMidExchange),
                         [](const ::testing::TestParamInfo<FaultyNetio::Mode>& info) {
                           switch (info.param) {
                             case FaultyNetio::Mode::Refuse: return "Refuses";
                             case FaultyNetio::Mode::Silent: return "IsSilent";
                             case FaultyNetio::Mode::Garbage: return "AnswersGarbage";
                             case FaultyNetio::Mode::DropMidExchange: return "DropsMidExchange";
                           }
                           return "Unknown";
                         });

// The supervision runs once a minute: the program's clock is moved to the
// next minute instead of waiting for it.
TEST(FaultSerialTest, ModuleHungUpWhilePolledIsReopenedByTheSupervision) {
  FaultInstallation inst("");
  const std::string link = inst.root.path() + "/ttyHB";
  WriteFile(inst.run + "/Tessaro.ini",
            "[Devices]\ndev0=hb628\n[COM-Ports]\ndev0=COM1\n[COM-Devices]\nCOM1=" + link + "\n");
  auto first = std::make_unique<Pty>();
  Link(first->slavePath(), link);
  const int64_t t0 = At(2026, 6, 10, 8, 15, 30);
  std::string why;
  auto p = inst.start(TESSARO_BINARY, &why, t0);
  ASSERT_TRUE(p) << why;
  ASSERT_NE(p->output().find("dev0: COM1 erfolgreich geoeffnet !\n"), std::string::npos)
      << p->output();
  ASSERT_NE(first->receive(3, 2000), "") << "the module is not polled";
  ASSERT_TRUE(Serves());
  const Resources before = ReadResources(p->pid());

  first.reset();  // hang-up: the master side closes, the device path goes
  EXPECT_TRUE(WaitForLog(inst, "dev0: WRITE ERROR HB628 (2 retries)", 1, 4000)) << inst.log();
  EXPECT_TRUE(Serves());
  inst.setFakeTime(t0 + 60);
  EXPECT_TRUE(WaitForLog(inst, "HB628 Treiber Restart (dev0): -2 --> -2")) << inst.log();
  EXPECT_TRUE(Serves());

  Pty second;  // the module is back, under another pseudo-terminal
  Link(second.slavePath(), link);
  inst.setFakeTime(t0 + 120);
  EXPECT_TRUE(WaitForLog(inst, "HB628 Treiber Restart (dev0): -2 --> 1")) << inst.log();
  EXPECT_NE(second.receive(3, 2000), "") << "the re-opened module is not polled";
  EXPECT_TRUE(Serves());
  EXPECT_TRUE(StatusFilesComplete(inst.debug));
  EXPECT_TRUE(NoGrowth(before, ReadResources(p->pid())));
  EXPECT_EQ(Stop(*p), 0);
}

std::string ClimateFile(int64_t updated, const std::string& temperature) {
  std::string text = "[time]\nlast_actualisation=" + std::to_string(updated) + "\n";
  for (int ch = 0; ch < 9; ++ch) {
    text += "[temperature_channel_" + std::to_string(ch) + "]\ndeg_C=" + temperature + "\n";
    text += "[humidity_channel_" + std::to_string(ch) + "]\npercent=4" + std::to_string(ch) + "\n";
  }
  return text;
}

TEST(FaultClimateTest, RewrittenTruncatedOrBinaryDataFileShowsErrAndInvalid) {
  FaultInstallation inst("[Devices]\ndev0=klimaloggpro\n[Files]\ndev0=./klima.dat\n");
  const std::string data = inst.run + "/klima.dat";
  const std::string slow = inst.debug + "/slow.xml";
  const int64_t t0 = At(2026, 6, 10, 8, 15, 30);
  WriteFile(data, ClimateFile(t0 - 100, "21.5"));
  std::string why;
  auto p = inst.start(TESSARO_BINARY, &why, t0);
  ASSERT_TRUE(p) << why;
  ASSERT_TRUE(WaitForMatch(slow, "<klp>\n      <valid>1</valid>[^]*<tmp>21.5</tmp>"))
      << ReadFile(slow);
  ASSERT_TRUE(Serves());
  const Resources before = ReadResources(p->pid());

  struct Step {
    std::string content;
    std::string expected;
  };
  const std::string full = ClimateFile(t0 - 40, "22.0");
  const Step steps[] = {
      {full, "<valid>1</valid>[^]*<tmp>22.0</tmp>"},
      // Cut in the middle of channel 0's section: everything behind is ERR.
      {full.substr(0, full.find("[humidity_channel_0]")), "<valid>0</valid>[^]*<hum>ERR</hum>"},
      {"", "<valid>0</valid>\n      <last>[^<]*</last>\n      <tmp>ERR</tmp>"},
      {RandomBytes(4096, 3), "<valid>0</valid>\n      <last>[^<]*</last>\n      <tmp>ERR</tmp>"},
      {ClimateFile(t0 + 200, "23.5"), "<valid>1</valid>[^]*<tmp>23.5</tmp>"},
  };
  int64_t minute = t0;
  for (const Step& step : steps) {
    WriteFile(data, step.content);
    minute += 60;
    inst.setFakeTime(minute);
    EXPECT_TRUE(WaitForMatch(slow, "<klp>\n      " + step.expected)) << ReadFile(slow);
    EXPECT_TRUE(Serves());
    EXPECT_TRUE(StatusFilesComplete(inst.debug));
  }
  EXPECT_TRUE(NoGrowth(before, ReadResources(p->pid())));
  EXPECT_EQ(Stop(*p), 0);
}

}  // namespace
