// What the systemd unit relies on: the program runs with standard input on
// /dev/null, SIGTERM stops it cleanly, and `cmake --install` lays out the
// program, the client, the example and the unit where the setup script
// looks for them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>
#include <set>
#include <string>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// The last log entry: the text after the last line break.
std::string LastEntry(const std::string& log) {
  return log.substr(log.rfind('\n') + 1);
}

// The unit's layout: working directory run/ with debug/ beside it.
struct ServiceDirs {
  TempDir root;
  std::string run = root.path() + "/run";
  std::string debug = root.path() + "/debug";
  ServiceDirs() {
    fs::create_directories(run);
    fs::create_directories(debug);
  }
};

// Runs the program as the unit does and checks that it serves and stops
// cleanly; with a client path, that client must get "ok" from it too.
void RunAsTheUnitDoes(const std::string& program, const ServiceDirs& dirs,
                      const std::string& client = "") {
  std::string failure;
  std::unique_ptr<Process> p = StartServer(program, dirs.run, &failure, Process::Input::DevNull);
  ASSERT_NE(p, nullptr) << failure;

  // End of input at once must not end the program, as ESC would.
  SleepMs(500);
  ASSERT_TRUE(p->running()) << p->output();
  {
    CommandClient probe(1969);
    ASSERT_TRUE(probe.connected());
    EXPECT_EQ(probe.request("cmd=debug&username=systemd&enaoutp=1\r\n"), "ok\r\n");
  }
  if (!client.empty()) {
    const int status = std::system((client + " --user cron debug 1 >/dev/null 2>&1").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << client;
  }
  EXPECT_TRUE(FileExists(dirs.debug + "/fast.xml"));
  EXPECT_THAT(p->output(), HasSubstr("\nSTART\n"));  // the report reaches the journal

  p->signal(SIGTERM);
  EXPECT_EQ(p->wait(5000), 0);
  const std::string log = ReadFile(dirs.run + "/logfile.txt");
  EXPECT_TRUE(std::regex_match(LastEntry(log), std::regex(R"(\d\d:\d\d:\d\d Tessaro beendet)")))
      << log;
}

TEST(ServiceSystemTest, WithInputFromDevNullTheProgramServesUntilSigterm) {
  ServiceDirs dirs;
  WriteFile(dirs.run + "/Tessaro.ini", "[Devices]\ndev0=dummy_io\n");
  RunAsTheUnitDoes(TESSARO_BINARY, dirs);
}

TEST(ServiceSystemTest, InstalledTreeHoldsWhatTheSetupScriptNeedsAndRuns) {
  const fs::path build = fs::path(TESSARO_TOOLS_DIR).parent_path();
  TempDir prefix;
  const std::string installLog = prefix.path() + "/install.log";
  const std::string command = "cmake --install '" + build.string() + "' --prefix '" +
                              prefix.path() + "' >'" + installLog + "' 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(installLog);

  // The program and the client only: no simulators.
  std::set<std::string> bin;
  for (const auto& entry : fs::directory_iterator(prefix.path() + "/bin")) {
    bin.insert(entry.path().filename());
    EXPECT_EQ(access(entry.path().c_str(), X_OK), 0) << entry.path();
  }
  EXPECT_EQ(bin, (std::set<std::string>{"tessaro", "tessaro_client"}));

  const std::string share = prefix.path() + "/share/tessaro";
  EXPECT_TRUE(FileExists(share + "/example/Tessaro.ini"));
  // The setup script rewrites this line with the installed program's path.
  EXPECT_THAT(ReadFile(share + "/tessaro.service"), HasSubstr("\nExecStart="));
  EXPECT_EQ(access((share + "/setup-service.sh").c_str(), X_OK), 0);

  // The installed program on the installed example, as the setup script
  // leaves it, and the installed client talking to it.
  ServiceDirs dirs;
  fs::copy_file(share + "/example/Tessaro.ini", dirs.run + "/Tessaro.ini");
  RunAsTheUnitDoes(prefix.path() + "/bin/tessaro", dirs, prefix.path() + "/bin/tessaro_client");
}

}  // namespace
