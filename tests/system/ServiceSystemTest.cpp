// What the systemd unit relies on: the program runs with standard input on
// /dev/null, SIGTERM stops it cleanly, and `cmake --install` lays out the
// program, the client, the example and the unit where the setup script
// looks for them; the setup script under a scratch root, and its log rotation
// rule on a running program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>
#include <set>
#include <string>

#include "tests/support/ServerInstallation.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// The last log entry: the text after the last line break.
std::string LastEntry(const std::string& log) {
  return log.substr(log.rfind('\n') + 1);
}

// Runs the program as the unit does, in the unit's layout (working
// directory run/ with debug/ beside it), and checks that it serves and stops
// cleanly; with a client path, that client must get "ok" from it too.
void RunAsTheUnitDoes(const std::string& program, ServerInstallation& inst,
                      const std::string& client = "") {
  std::unique_ptr<Process> p = inst.start(program);
  ASSERT_NE(p, nullptr) << inst.why;

  // End of input at once must not end the program, as ESC would: the pass
  // that answers comes after one that read the console.
  {
    CommandClient probe(1969);
    ASSERT_TRUE(probe.connected());
    EXPECT_EQ(probe.request("cmd=debug&username=systemd&enaoutp=1\r\n"), "ok\r\n");
  }
  ASSERT_TRUE(p->running()) << p->output();
  if (!client.empty()) {
    const int status = std::system((client + " --user cron debug 1 >/dev/null 2>&1").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << client;
  }
  EXPECT_TRUE(FileExists(inst.debug + "/fast.xml"));
  EXPECT_THAT(p->output(), HasSubstr("\nSTART\n"));  // the report reaches the journal

  EXPECT_EQ(Stop(*p), 0);
  const std::string log = inst.log();
  EXPECT_TRUE(std::regex_match(LastEntry(log), std::regex(R"(\d\d:\d\d:\d\d Tessaro beendet)")))
      << log;
}

// A shell command that must succeed; its output.
std::string Sh(const std::string& command) {
  TempDir out;
  const int status = std::system(("(" + command + ") >" + out.path() + "/out 2>&1").c_str());
  const std::string output = ReadFile(out.path() + "/out");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command << "\n" << output;
  return output;
}

// This build installed into a prefix, and a scratch root for its setup script.
struct ScratchSetup {
  TempDir prefix, root;
  std::string state = root.path() + "/var/lib/tessaro", runtime = root.path() + "/run/tessaro";
  ScratchSetup() {
    Sh("cmake --install " + fs::path(TESSARO_TOOLS_DIR).parent_path().string() + " --prefix " +
       prefix.path());
  }
  std::string run() {
    return Sh(prefix.path() + "/share/tessaro/setup-service.sh --root " + root.path());
  }
};

TEST(ServiceSystemTest, WithInputFromDevNullTheProgramServesUntilSigterm) {
  ServerInstallation inst("[Devices]\ndev0=dummy_io\n");
  RunAsTheUnitDoes(TESSARO_BINARY, inst);
}

TEST(ServiceSystemTest, InstalledTreeHoldsWhatTheSetupScriptNeedsAndRuns) {
  const ScratchSetup setup;
  const TempDir& prefix = setup.prefix;
  ASSERT_FALSE(::testing::Test::HasFailure());

  // The programs only: no simulators.
  const std::set<std::string> bin = FileNamesIn(prefix.path() + "/bin");
  for (const auto& name : bin) {
    EXPECT_EQ(access((prefix.path() + "/bin/" + name).c_str(), X_OK), 0) << name;
  }
  EXPECT_EQ(bin, (std::set<std::string>{"tessaro", "tessaro_client", "tessaro_gateway"}));

  const std::string share = prefix.path() + "/share/tessaro";
  EXPECT_TRUE(FileExists(share + "/example/Tessaro.ini"));
  // The setup script rewrites this line with the installed program's path.
  EXPECT_THAT(ReadFile(share + "/tessaro.service"), HasSubstr("\nExecStart="));
  EXPECT_EQ(access((share + "/setup-service.sh").c_str(), X_OK), 0);

  // The installed program on the installed example, as the setup script
  // leaves it, and the installed client talking to it.
  ServerInstallation inst(ReadFile(share + "/example/Tessaro.ini"));
  RunAsTheUnitDoes(prefix.path() + "/bin/tessaro", inst, prefix.path() + "/bin/tessaro_client");
}

// The set-up script alone runs no program: these cases leave port 1969 free.
TEST(SetupWithoutServer, LinksDebugToTheRuntimeDirectoryAndARerunChangesNothing) {
  ScratchSetup setup;
  EXPECT_THAT(setup.run(), HasSubstr("user, ownership and systemctl skipped"));
  EXPECT_THAT(ReadFile(setup.root.path() + "/etc/systemd/system/tessaro.service"),
              HasSubstr("\nRuntimeDirectory=tessaro\nRuntimeDirectoryMode=0755\n"
                        "RuntimeDirectoryPreserve=yes\nExecStart=" +
                        setup.prefix.path() + "/bin/tessaro\n"));
  EXPECT_EQ(fs::read_symlink(setup.state + "/debug"), setup.runtime);
  const std::string gatewayUnit = ReadFile(setup.root.path() + "/etc/systemd/system/tessaro-gateway.service");
  EXPECT_THAT(gatewayUnit, HasSubstr("\nExecStart=" + setup.prefix.path() + "/bin/tessaro_gateway --history "));
  // The one directory the gateway may write, with the example's programme in it.
  EXPECT_THAT(gatewayUnit, HasSubstr("\nReadWritePaths=-" + setup.state + "/run/programme\n"));
  EXPECT_THAT(gatewayUnit, HasSubstr("\nUMask=0077\n"));
  EXPECT_TRUE(FileExists(setup.state + "/run/programme/heizung.txt"));
  WriteFile(setup.state + "/run/Tessaro.ini", "edited");
  WriteFile(setup.root.path() + "/etc/default/tessaro-gateway", "GATEWAY_OPTIONS=--http none\n");
  const std::string tree =
      "cd " + setup.root.path() +
      " && find . -printf '%p %y %m %l\n' | sort && find . -type f | xargs md5sum";
  const std::string before = Sh(tree);
  setup.run();
  EXPECT_EQ(Sh(tree), before);
}

TEST(SetupWithoutServer, ReplacesAnOldDebugDirectoryAndMovesForeignFilesAside) {
  const struct {
    std::vector<std::string> files;
    bool asideTaken;
    std::string kept;  // the entries beside run/, then every file with its content
  } rows[] = {
      {{"fast.xml", "slow.xml", "fast.xml.tmp", "slow.xml.tmp"}, false, "debug run "},
      {{}, false, "debug run "},
      {{"fast.xml", "x"},
       false,
       "debug debug.on-disk run debug.on-disk/fast.xml:fast.xml debug.on-disk/x:x "},
      {{".pid"},
       true,
       "debug debug.on-disk debug.on-disk.1 run debug.on-disk.1/.pid:.pid debug.on-disk:old "},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.files));
    ScratchSetup setup;
    fs::create_directories(setup.state + "/debug");
    for (const auto& f : row.files) WriteFile(setup.state + "/debug/" + f, f);
    if (row.asideTaken) WriteFile(setup.state + "/debug.on-disk", "old");
    setup.run();
    EXPECT_EQ(fs::read_symlink(setup.state + "/debug"), setup.runtime);
    EXPECT_EQ(Sh("cd " + setup.state + " && (ls -A; grep -r . debug* | sort) | tr '\\n' ' '"),
              row.kept);
  }
}

TEST(ServiceSystemTest, InstalledRuleRotatesTheLogOfTheRunningProgram) {
  ScratchSetup setup;
  setup.run();
  const std::string run = setup.state + "/run", log = run + "/logfile.txt";
  WriteFile(run + "/Tessaro.ini",
            "[Devices]\ndev0=dummy_io\n[Digital_Outputs]\nout0=0,0,-1,aus,Pumpe\n");
  std::string failure;
  auto p =
      StartServer(setup.prefix.path() + "/bin/tessaro", run, &failure, Process::Input::DevNull);
  ASSERT_NE(p, nullptr) << failure;
  const std::string started = ReadFile(log);

  // Under Debian's global "create", which the rule must override.
  WriteFile(setup.prefix.path() + "/conf",
            "create\ninclude " + setup.root.path() + "/etc/logrotate.d\n");
  Sh("logrotate -f -s " + setup.prefix.path() + "/state " + setup.prefix.path() + "/conf");
  EXPECT_FALSE(FileExists(log));
  CommandClient client(1969);
  EXPECT_EQ(client.request("cmd=dout&username=rotate&outn=0&mode=ein\r\n"), "ok\r\n");
  const std::string fast = setup.runtime + "/fast.xml";  // written through the link
  WaitUntil([&] { return ReadFile(log).find("ein") != std::string::npos && FileExists(fast); });
  // A new log, beginning with a line break like every log, holding the one
  // entry (after the day's header when the run crossed midnight).
  EXPECT_TRUE(std::regex_match(
      ReadFile(log),
      std::regex(R"((\n----- \d\d\.\d\d\.\d{4} -----)?\n\d\d:\d\d:\d\d \[r\] Pumpe: ein)")));
  EXPECT_EQ(ReadFile(log + ".1"), started);  // renamed, not yet compressed
  EXPECT_TRUE(FileExists(fast));
}

}  // namespace
