// Faults in the program's files: the status directory missing, the event log
// not writable, the configuration missing, empty, garbage, huge or with
// endless lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <string>

#include "tests/support/FaultHarness.h"

namespace {

namespace fs = std::filesystem;

const char kIni[] =
    "[Devices]\ndev0=dummy_io\n"
    "[Digital_Outputs]\nout0=0,0,-1,aus,Pumpe\nout1=0,1,-1,aus,Brenner\n";

TEST(FaultFilesTest, StatusDirectoryCreatedWhileRunningGetsBothFiles) {
  ServerInstallation inst(kIni, /*withDebugDir=*/false);
  auto p = inst.start(TESSARO_BINARY);
  ASSERT_TRUE(p) << inst.why;
  EXPECT_EQ(inst.dout(0, "ein", "Pumpe"), "ok\r\n");
  ASSERT_TRUE(Serves());
  const Resources before = ReadResources(p->pid());

  fs::create_directories(inst.debug);
  EXPECT_TRUE(WaitUntil([&] { return FileExists(inst.debug + "/fast.xml"); }));
  EXPECT_TRUE(Serves());  // enaoutp marks the slow data
  EXPECT_TRUE(WaitUntil([&] { return FileExists(inst.debug + "/slow.xml"); }));
  EXPECT_EQ(inst.dout(1, "ein", "Brenner"), "ok\r\n");
  EXPECT_TRUE(WaitUntil(
      [&] { return inst.slowXml().find("[f] Brenner: ein") != std::string::npos; }, 10000));
  EXPECT_TRUE(StatusFilesComplete(inst.debug));
  // Both status files must tell the command that ran before they could be
  // written: the message list and the channel show it.
  EXPECT_NE(inst.slowXml().find("[f] Pumpe: ein"), std::string::npos);
  // A file being replaced has its temporary beside it for a moment.
  EXPECT_TRUE(WaitUntil([&] { return FileNamesIn(inst.debug).size() == 2; }))
      << "temporary files left behind";
  EXPECT_TRUE(inst.everyCommandLogged());
  EXPECT_TRUE(NoGrowth(before, ReadResources(p->pid())));
  EXPECT_EQ(Stop(*p), 0);
}

TEST(FaultFilesTest, EventLogReplacedByDirectoryLosesOnlyItsOwnEntries) {
  ServerInstallation inst(kIni);
  auto p = inst.start(TESSARO_BINARY);
  ASSERT_TRUE(p) << inst.why;
  EXPECT_EQ(inst.dout(0, "ein", "Pumpe"), "ok\r\n");
  ASSERT_TRUE(Serves());
  const Resources before = ReadResources(p->pid());

  // Root writes through any file mode: only a directory in the file's place
  // makes the append fail for it.
  const std::string log = inst.run + "/logfile.txt";
  fs::rename(log, log + ".saved");
  fs::create_directory(log);
  {
    CommandClient lost(1969);
    EXPECT_EQ(lost.request("cmd=dout&username=lost&outn=1&mode=ein\r\n"), "ok\r\n");
  }
  EXPECT_TRUE(Serves());
  EXPECT_TRUE(p->running());
  EXPECT_TRUE(StatusFilesComplete(inst.debug));

  fs::remove(log);
  fs::rename(log + ".saved", log);
  EXPECT_EQ(inst.dout(1, "aus", "Brenner"), "ok\r\n");
  EXPECT_TRUE(Serves());
  EXPECT_TRUE(inst.everyCommandLogged());
  EXPECT_EQ(inst.log().find("[l]"), std::string::npos);
  // The message list follows the log again.
  EXPECT_TRUE(WaitUntil(
      [&] { return inst.slowXml().find("[f] Brenner: aus") != std::string::npos; }, 10000));
  EXPECT_TRUE(StatusFilesComplete(inst.debug));
  EXPECT_TRUE(NoGrowth(before, ReadResources(p->pid())));
  EXPECT_EQ(Stop(*p), 0);
}

struct BadIni {
  const char* name;
  bool present;
  std::string content;
  const char* report;  // what the start-up report must show
};

class FaultIniTest : public ::testing::TestWithParam<BadIni> {};

TEST_P(FaultIniTest, ProgramStartsReportsAndServes) {
  const BadIni& bad = GetParam();
  ServerInstallation inst(bad.content);
  if (!bad.present) fs::remove(inst.run + "/Tessaro.ini");
  const int64_t t0 = NowMs();
  auto p = inst.start(TESSARO_BINARY);
  ASSERT_TRUE(p) << inst.why;
  std::cout << "[   info   ] " << bad.name << ": started in " << NowMs() - t0 << " ms\n";
  EXPECT_NE(p->output().find("\nSTART\n"), std::string::npos);
  EXPECT_NE(p->output().find(bad.report), std::string::npos) << p->output().substr(0, 2000);
  // Served by a pass after the first, whose end wrote both files.
  EXPECT_TRUE(Serves());
  EXPECT_TRUE(StatusFilesComplete(inst.debug));
  EXPECT_EQ(Stop(*p), 0);
}

std::string HugeIni() {
  // The sections first, then 10 MB of keys nobody asks for: every look-up
  // reads the whole file, and those of absent sections scan all of it.
  std::string ini = std::string(kIni) + "[Padding]\n";
  const std::string filler = "key=" + std::string(75, 'v') + "\n";
  while (ini.size() < 10u * 1000 * 1000) ini += filler;
  return ini;
}

std::string LongLinesIni() {
  const std::string longText(100000, 'x');
  return "[Devices]\ndev0=dummy_io" + longText + "\ndev1=dummy_io\n[" + longText + "]\n" +
         "dev2=dummy_io\n[Digital_Outputs]\nout0=1,0,-1,aus," + longText + "\n" + longText +
         "=" + longText + "\n";
}

std::string GarbageIni() {
  std::string bytes = RandomBytes(64 * 1024, 7);
  // Random bytes with a section header or two among them.
  bytes.insert(1000, "\n[Devices]\n");
  bytes.insert(30000, "\n[Digital_Outputs]\n");
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    FaultConfig, FaultIniTest,
    ::testing::Values(BadIni{"Missing", false, "", "\nSTART\n"},
                      BadIni{"Empty", true, "", "\nSTART\n"},
                      BadIni{"BinaryGarbage", true, GarbageIni(), "\nSTART\n"},
                      BadIni{"TenMegabytes", true, HugeIni(), "dev0: dummy_io\n"},
                      BadIni{"HundredThousandCharacterLines", true, LongLinesIni(),
                             "dev1: dummy_io\n"}),
    [](const ::testing::TestParamInfo<BadIni>& info) { return std::string(info.param.name); });

}  // namespace
