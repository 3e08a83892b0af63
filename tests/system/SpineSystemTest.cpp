// The real program, started as an operator starts it.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>

#include <cstring>
#include <filesystem>
#include <regex>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace {

class SpineSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(run);
    std::filesystem::create_directories(root.path() + "/debug");
    WriteFile(run + "/Tessaro.ini", "[Devices]\ndev0=dummy_io\n");
  }
  std::string log() const { return ReadFile(run + "/logfile.txt"); }

  TempDir root;
  std::string run = root.path() + "/run";
};

const std::regex kStartAndEnd(R"(\n\d\d:\d\d:\d\d Tessaro gestartet\n\d\d:\d\d:\d\d Tessaro beendet)");

TEST_F(SpineSystemTest, EscEndsTheProgramWithStatusZeroAndBothLogEntries) {
  Process p(TESSARO_BINARY, {}, run);
  ASSERT_TRUE(p.waitForOutput("\nSTART\n", 5000));
  EXPECT_EQ(p.output().substr(0, 25), "\nDEVICES:\ndev0: dummy_io\n");
  p.writeInput("x\x1b");
  EXPECT_EQ(p.wait(5000), 0);
  EXPECT_TRUE(std::regex_match(log(), kStartAndEnd)) << log();
}

// SIGHUP comes with a closed terminal or SSH session.
TEST_F(SpineSystemTest, SigtermAndSighupEndTheProgramLikeEsc) {
  for (const int sig : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(sig));
    std::filesystem::remove(run + "/logfile.txt");
    Process p(TESSARO_BINARY, {}, run);
    ASSERT_TRUE(p.waitForOutput("\nSTART\n", 5000));
    CommandClient probe(1969);  // the port is open once the client connects
    ASSERT_TRUE(probe.connected());
    p.signal(sig);
    EXPECT_EQ(p.wait(5000), 0);
    EXPECT_TRUE(std::regex_match(log(), kStartAndEnd)) << log();
  }
}

TEST_F(SpineSystemTest, StandardInputAtEndOfFileIsNoReasonToStop) {
  Process p(TESSARO_BINARY, {}, run);
  p.closeInput();
  ASSERT_TRUE(p.waitForOutput("\nSTART\n", 5000));
  SleepMs(300);
  EXPECT_TRUE(p.running());
  CommandClient client(1969);
  EXPECT_TRUE(client.connected());
  p.signal(SIGINT);
  EXPECT_EQ(p.wait(5000), 0);
}

TEST_F(SpineSystemTest, ClientsComeAndGoOneAfterAnother) {
  Process p(TESSARO_BINARY, {}, run);
  ASSERT_TRUE(p.waitForOutput("\nSTART\n", 5000));
  {
    CommandClient first(1969);
    ASSERT_TRUE(first.connected());
    ASSERT_TRUE(p.waitForOutput("TCP/IP Verbindung hergestellt\n", 3000));
  }
  ASSERT_TRUE(p.waitForOutput("TCP/IP Verbindung geschlossen\n", 3000));
  CommandClient second(1969);
  ASSERT_TRUE(second.connected());
  SleepMs(300);
  // The dummy device's write pass may print between the connection lines.
  const std::string out = std::regex_replace(p.output(), std::regex("DUMMYIO: [01]{32}\n"), "");
  EXPECT_NE(out.find("TCP/IP Verbindung hergestellt\nTCP/IP Verbindung geschlossen\n"
                     "TCP/IP Verbindung hergestellt\n"),
            std::string::npos)
      << out;
  p.signal(SIGTERM);
  EXPECT_EQ(p.wait(5000), 0);
}

TEST_F(SpineSystemTest, PortHeldByAnotherListenerEndsWithStatusOneAndNoLog) {
  const int holder = socket(AF_INET, SOCK_STREAM, 0);
  const int on = 1;
  setsockopt(holder, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(1969);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(holder, 1), 0);

  Process p(TESSARO_BINARY, {}, run);
  EXPECT_EQ(p.wait(5000), 1);
  close(holder);
  EXPECT_NE(p.output().find("\nSTART\nFehler Funktion bind\n"), std::string::npos) << p.output();
  EXPECT_FALSE(FileExists(run + "/logfile.txt"));
}

}  // namespace
