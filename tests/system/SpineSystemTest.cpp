// The real program, started as an operator starts it.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>
#include <filesystem>
#include <regex>

#include "platform/Socket.h"
#include "tests/support/ServerInstallation.h"
#include "tools/support/Bytes.h"

namespace {

constexpr char kConnected[] = "TCP/IP Verbindung hergestellt\n";

class SpineSystemTest : public ::testing::Test {
 protected:
  // With standard input on a pipe, as from a terminal.
  std::unique_ptr<Process> start() {
    auto p = inst.start(TESSARO_BINARY, Process::Input::Pipe);
    EXPECT_NE(p, nullptr) << inst.why;
    return p;
  }

  ServerInstallation inst{"[Devices]\ndev0=dummy_io\n"};
};

// The start and the end entry, and nothing between them but the day's header
// of a run that crossed midnight.
const std::regex kStartAndEnd(
    R"(\n\d\d:\d\d:\d\d Tessaro gestartet(\n----- \d\d\.\d\d\.\d{4} -----)?\n\d\d:\d\d:\d\d Tessaro beendet)");

TEST_F(SpineSystemTest, EscEndsTheProgramWithStatusZeroAndBothLogEntries) {
  auto p = start();
  ASSERT_TRUE(p);
  EXPECT_EQ(p->output().substr(0, 25), "\nDEVICES:\ndev0: dummy_io\n");
  p->writeInput("x\x1b");
  EXPECT_EQ(p->wait(10000), 0);
  EXPECT_TRUE(std::regex_match(inst.log(), kStartAndEnd)) << inst.log();
}

// SIGHUP comes with a closed terminal or SSH session.
TEST_F(SpineSystemTest, SigtermAndSighupEndTheProgramLikeEsc) {
  for (const int sig : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(sig));
    std::filesystem::remove(inst.run + "/logfile.txt");
    auto p = start();
    ASSERT_TRUE(p);
    CommandClient probe(1969);  // the port is open once the client connects
    ASSERT_TRUE(probe.connected());
    p->signal(sig);
    EXPECT_EQ(p->wait(10000), 0);
    EXPECT_TRUE(std::regex_match(inst.log(), kStartAndEnd)) << inst.log();
  }
}

// Each pass reads the console at its end, and a pass that answers a request
// comes after the one that accepted the client.
TEST_F(SpineSystemTest, StandardInputAtEndOfFileIsNoReasonToStop) {
  auto p = start();
  ASSERT_TRUE(p);
  p->closeInput();
  CommandClient client(1969);
  EXPECT_EQ(client.request("cmd=debug&username=eof&enaoutp=1\r\n"), "ok\r\n");
  EXPECT_TRUE(p->running());
  p->signal(SIGINT);
  EXPECT_EQ(p->wait(10000), 0);
}

TEST_F(SpineSystemTest, ClientsComeAndGoOneAfterAnother) {
  auto p = start();
  ASSERT_TRUE(p);
  {
    CommandClient first(1969);
    ASSERT_TRUE(first.connected());
    ASSERT_TRUE(p->waitForOutput(kConnected, 10000));
  }
  ASSERT_TRUE(p->waitForOutput("TCP/IP Verbindung geschlossen\n", 10000));
  CommandClient second(1969);
  ASSERT_TRUE(second.connected());
  EXPECT_TRUE(WaitUntil([&] { return CountOf(p->output(), kConnected) == 2; }));
  // The dummy device's write pass may print between the connection lines.
  const std::string out = std::regex_replace(p->output(), std::regex("DUMMYIO: [01]{32}\n"), "");
  EXPECT_NE(out.find(std::string(kConnected) + "TCP/IP Verbindung geschlossen\n" + kConnected),
            std::string::npos)
      << out;
  p->signal(SIGTERM);
  EXPECT_EQ(p->wait(10000), 0);
}

// The port is the test's as soon as no other program holds it.
TEST_F(SpineSystemTest, PortHeldByAnotherListenerEndsWithStatusOneAndNoLog) {
  TcpListener holder;
  ASSERT_TRUE(WaitUntil([&] { return holder.open("", 1969, 1) == ListenResult::Ok; }, kPortWaitMs));

  Process p(TESSARO_BINARY, {}, inst.run);
  EXPECT_EQ(p.wait(10000), 1);
  holder = TcpListener();
  EXPECT_NE(p.output().find("\nSTART\nFehler Funktion bind\n"), std::string::npos) << p.output();
  EXPECT_FALSE(FileExists(inst.run + "/logfile.txt"));
}

}  // namespace
