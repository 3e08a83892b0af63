// Faults of the devices: a power switch that refuses, stays silent, talks
// garbage or drops the connection; a serial module hung up while it is
// polled; a climate data file rewritten, truncated or turned to garbage.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/support/FaultHarness.h"
#include "tests/support/TestInstallation.h"
#include "tools/support/NetioSwitch.h"
#include "tools/support/Pty.h"

namespace {

using Fault = NetioSwitch::Fault;

// A time of the tests' own: the first pass's minute tick, which writes every
// output and polls the devices, runs whatever the minute of the real clock.
const int64_t kT0 = At(2026, 6, 10, 8, 15, 30);

// Waits until the file holds a match of pattern.
bool WaitForMatch(const std::string& path, const std::string& pattern, int timeoutMs = 10000) {
  const std::regex re(pattern);
  return WaitUntil([&] { return std::regex_search(ReadFile(path), re); }, timeoutMs);
}

class FaultNetioTest : public ::testing::TestWithParam<Fault> {};

TEST_P(FaultNetioTest, FailedExchangesAreLoggedAndTheLoopServesBetweenThem) {
  NetioSwitch netio(GetParam());
  ServerInstallation inst(
      "[Devices]\ndev0=dummy_io\ndev1=netio230b\n[TCP/IP]\ndev1=127.0.0.1," +
      std::to_string(netio.port()) +
      "\n[Digital_Outputs]\nout0=0,0,-1,aus,Pumpe\nout2=1,0,-1,aus,Steckdose\n");
  auto p = inst.startAt(kT0, TESSARO_BINARY);
  ASSERT_TRUE(p) << inst.why;
  const std::string failed = "dev1(NetIo230b): Datenausgabe fehlgeschlagen";
  // The first pass's write pass meets the switch.
  ASSERT_TRUE(inst.waitForLog(failed));
  ASSERT_TRUE(Serves());
  const Resources before = ReadResources(p->pid());
  const size_t failuresBefore = CountOf(inst.log(), failed);

  const char* modes[] = {"ein", "aus", "ein"};
  for (const char* mode : modes) {
    EXPECT_EQ(inst.dout(2, mode, "Steckdose"), "ok\r\n");
    EXPECT_TRUE(Serves());
  }
  EXPECT_GE(CountOf(inst.log(), failed), failuresBefore + 3) << inst.log();
  if (GetParam() != Fault::Refuse) {
    EXPECT_GE(netio.connections(), 4);
  }
  EXPECT_TRUE(WaitForMatch(inst.debug + "/slow.xml",
                           "<outn>2</outn>\n   <valid>0</valid>\n   <value>1</value>"));
  EXPECT_TRUE(StatusFilesComplete(inst.debug));
  EXPECT_TRUE(inst.everyCommandLogged());
  EXPECT_TRUE(NoGrowth(before, ReadResources(p->pid())));
  EXPECT_EQ(Stop(*p), 0);
}

INSTANTIATE_TEST_SUITE_P(FaultSwitch, FaultNetioTest,
                         ::testing::Values(Fault::Refuse, Fault::Silent, Fault::Garbage,
                                           Fault::ResetAfterLogin),
                         [](const ::testing::TestParamInfo<Fault>& info) {
                           switch (info.param) {
                             case Fault::Refuse: return "Refuses";
                             case Fault::Silent: return "IsSilent";
                             case Fault::Garbage: return "AnswersGarbage";
                             case Fault::ResetAfterLogin: return "DropsMidExchange";
                             default: return "Unknown";
                           }
                         });

// The supervision runs once a minute: the program's clock is moved to the
// next minute instead of waiting for it.
TEST(FaultSerialTest, ModuleHungUpWhilePolledIsReopenedByTheSupervision) {
  ServerInstallation inst("");
  const std::string link = inst.root.path() + "/ttyHB";
  WriteFile(inst.run + "/Tessaro.ini",
            "[Devices]\ndev0=hb628\n[COM-Ports]\ndev0=COM1\n[COM-Devices]\nCOM1=" + link + "\n");
  auto first = std::make_unique<Pty>();
  Link(first->slavePath(), link);
  auto p = inst.startAt(kT0, TESSARO_BINARY);
  ASSERT_TRUE(p) << inst.why;
  ASSERT_NE(p->output().find("dev0: COM1 erfolgreich geoeffnet !\n"), std::string::npos)
      << p->output();
  ASSERT_NE(first->receive(3, 10000), "") << "the module is not polled";
  ASSERT_TRUE(Serves());
  const Resources before = ReadResources(p->pid());

  first.reset();  // hang-up: the master side closes, the device path goes
  EXPECT_TRUE(inst.waitForLog("dev0: WRITE ERROR HB628 (2 retries)")) << inst.log();
  EXPECT_TRUE(Serves());
  inst.setFakeTime(kT0 + 60);
  EXPECT_TRUE(inst.waitForLog("HB628 Treiber Restart (dev0): -2 --> -2")) << inst.log();
  EXPECT_TRUE(Serves());

  Pty second;  // the module is back, under another pseudo-terminal
  Link(second.slavePath(), link);
  inst.setFakeTime(kT0 + 120);
  EXPECT_TRUE(inst.waitForLog("HB628 Treiber Restart (dev0): -2 --> 1")) << inst.log();
  EXPECT_NE(second.receive(3, 10000), "") << "the re-opened module is not polled";
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
  ServerInstallation inst("[Devices]\ndev0=klimaloggpro\n[Files]\ndev0=./klima.dat\n");
  const std::string data = inst.run + "/klima.dat";
  const std::string slow = inst.debug + "/slow.xml";
  WriteFile(data, ClimateFile(kT0 - 100, "21.5"));
  auto p = inst.startAt(kT0, TESSARO_BINARY);
  ASSERT_TRUE(p) << inst.why;
  ASSERT_TRUE(WaitForMatch(slow, "<klp>\n      <valid>1</valid>[^]*<tmp>21.5</tmp>"))
      << ReadFile(slow);
  ASSERT_TRUE(Serves());
  const Resources before = ReadResources(p->pid());

  struct Step {
    std::string content;
    std::string expected;
  };
  const std::string full = ClimateFile(kT0 - 40, "22.0");
  const Step steps[] = {
      {full, "<valid>1</valid>[^]*<tmp>22.0</tmp>"},
      // Cut in the middle of channel 0's section: everything behind is ERR.
      {full.substr(0, full.find("[humidity_channel_0]")), "<valid>0</valid>[^]*<hum>ERR</hum>"},
      {"", "<valid>0</valid>\n      <last>[^<]*</last>\n      <tmp>ERR</tmp>"},
      {RandomBytes(4096, 3), "<valid>0</valid>\n      <last>[^<]*</last>\n      <tmp>ERR</tmp>"},
      {ClimateFile(kT0 + 200, "23.5"), "<valid>1</valid>[^]*<tmp>23.5</tmp>"},
  };
  int64_t minute = kT0;
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
