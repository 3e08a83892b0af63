// Faults in the program's files: the status directory missing, the event log
// not writable, the configuration missing, empty, garbage, huge or with
// endless lines.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "tests/support/FaultHarness.h"

namespace {

namespace fs = std::filesystem;

const char kIni[] =
    "[Devices]\ndev0=dummy_io\n"
    "[Digital_Outputs]\nout0=0,0,-1,aus,Pumpe\nout1=0,1,-1,aus,Brenner\n";

bool WaitForFile(const std::string& path, int timeoutMs) {
  for (int waited = 0; waited < timeoutMs; waited += 20) {
    if (FileExists(path)) return true;
    SleepMs(20);
  }
  return FileExists(path);
}

TEST(FaultFilesTest, StatusDirectoryCreatedWhileRunningGetsBothFiles) {
  FaultInstallation inst(kIni, /*withDebugDir=*/false);
  std::string why;
  auto p = inst.start(TESSARO_BINARY, &why);
  ASSERT_TRUE(p) << why;
  EXPECT_EQ(inst.dout(0, "ein", "Pumpe"), "ok\r\n");
  ASSERT_TRUE(Serves());
  const Resources before = ReadResources(p->pid());

  fs::create_directories(inst.debug);
  EXPECT_TRUE(WaitForFile(inst.debug + "/fast.xml", 2000));
  EXPECT_TRUE(Serves());  // enaoutp marks the slow data
  EXPECT_TRUE(WaitForFile(inst.debug + "/slow.xml", 2000));
  EXPECT_EQ(inst.dout(1, "ein", "Brenner"), "ok\r\n");
  SleepMs(300);
  EXPECT_TRUE(StatusFilesComplete(inst.debug));
  // Both status files must tell the command that ran before they could be
  // written: the message list and the channel show it.
  EXPECT_NE(ReadFile(inst.debug + "/slow.xml").find("[f] Pumpe: ein"), std::string::npos);
  size_t entries = 0;
  for (const auto& e : fs::directory_iterator(inst.debug)) {
    ++entries;
    (void)e;
  }
  EXPECT_EQ(entries, 2u) << "temporary files left behind";
  EXPECT_TRUE(inst.everyCommandLogged());
  EXPECT_TRUE(NoGrowth(before, ReadResources(p->pid())));
  EXPECT_EQ(Stop(*p), 0);
}

TEST(FaultFilesTest, EventLogReplacedByDirectoryLosesOnlyItsOwnEntries) {
  FaultInstallation inst(kIni);
  std::string why;
  auto p = inst.start(TESSARO_BINARY, &why);
  ASSERT_TRUE(p) << why;
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
  SleepMs(300);
  EXPECT_TRUE(p->running());
  EXPECT_TRUE(StatusFilesComplete(inst.debug));

  fs::remove(log);
  fs::rename(log + ".saved", log);
  EXPECT_EQ(inst.dout(1, "aus", "Brenner"), "ok\r\n");
  EXPECT_TRUE(Serves());
  SleepMs(300);
  EXPECT_TRUE(inst.everyCommandLogged());
  EXPECT_EQ(inst.log().find("[l]"), std::string::npos);
  // The message list follows the log again.
  EXPECT_NE(ReadFile(inst.debug + "/slow.xml").find("[f] Brenner: aus"), std::string::npos);
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
  FaultInstallation inst(bad.content);
  if (!bad.present) fs::remove(inst.run + "/Tessaro.ini");
  std::string why;
  const auto t0 = std::chrono::steady_clock::now();
  auto p = inst.start(TESSARO_BINARY, &why);
  ASSERT_TRUE(p) << why;
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - t0);
  std::cout << "[   info   ] " << bad.name << ": started in " << took.count() << " ms\n";
  EXPECT_NE(p->output().find("\nSTART\n"), std::string::npos);
  EXPECT_NE(p->output().find(bad.report), std::string::npos) << p->output().substr(0, 2000);
  EXPECT_TRUE(Serves());
  SleepMs(200);
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
