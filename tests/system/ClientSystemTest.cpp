// The command-line client against the real program and against ports where
// no server answers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Socket.h"
#include "tests/support/ServerInstallation.h"
#include "tools/support/FreePort.h"

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::string kClient = TESSARO_TOOLS_DIR "/tessaro_client";

struct ClientRun {
  int status = -1;  // -1: killed or hung
  std::string out;
  std::string err;
};

// Runs the client to its end with stdout and stderr kept apart, as a script
// that captures the reply sees them. extraEnv entries ("NAME=value") win over
// the test's own environment.
ClientRun RunClient(const std::vector<std::string>& args,
                    const std::vector<std::string>& extraEnv = {}) {
  TempDir dir;
  Process client(kClient, args, dir.path(), Process::Input::DevNull, extraEnv,
                 Process::Errors::Apart);
  const int status = client.wait(20000);
  return {status, client.output(), client.errors()};
}

class ClientSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server = inst.start(TESSARO_BINARY);
    ASSERT_NE(server, nullptr) << inst.why;
  }
  void TearDown() override {
    if (server != nullptr) {
      EXPECT_EQ(Stop(*server), 0);
    }
  }

  ServerInstallation inst{
      "[Devices]\ndev0=dummy_io\n[Digital_Outputs]\n"
      "out0=0,0,-1,aus,Kessel\nout1=0,1,-1,aus,Brenner\n"
      "out2=0,2,-1,aus,Ventil\nout3=0,3,-1,aus,Pumpe\n"};
  std::unique_ptr<Process> server;
};

TEST_F(ClientSystemTest, OnlyTheReplyOkGivesStatusZero) {
  ClientRun ok = RunClient({"debug", "1"});
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.out, "ok\r\n");
  EXPECT_EQ(ok.err, "");

  // An error reply has no line end: it is complete once the server closes,
  // and gets a line feed of its own.
  ClientRun refused = RunClient({"dout", "3", "EIN"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out, "Tessaro.Dout: mode=EIN nicht zul\xE4ssig\n");

  ClientRun noLogin = RunClient({"--user", "", "debug", "1"});
  EXPECT_EQ(noLogin.status, 1);
  EXPECT_EQ(noLogin.out, "Kein Login vorhanden\r\n");

  ClientRun raw = RunClient({"--raw", "cmd=dout&username=op&mode=ein"});
  EXPECT_EQ(raw.status, 1);
  EXPECT_EQ(raw.out, "Tessaro.Dout: outn_str nicht angegeben\n");

  ClientRun rawOk = RunClient({"--raw=cmd=debug&username=op&enaoutp=1\r\n"});
  EXPECT_EQ(rawOk.status, 0);
  EXPECT_EQ(rawOk.out, "ok\r\n");
}

TEST_F(ClientSystemTest, EachCommandArrivesAsItsRequest) {
  EXPECT_EQ(RunClient({"--user", "operator", "dout", "3", "ein"}).status, 0);
  EXPECT_EQ(RunClient({"dout_bin", "5", "ein", "--user=bob"}).status, 0);
  // Bit 31 may be given unsigned; the server reads the mask as signed.
  EXPECT_EQ(RunClient({"--user", "carl", "dout_bin", "4294967295", "aus"}).status, 0);
  EXPECT_EQ(RunClient({"--user", "dora", "dout_timer", "3", "30", "true"}).status, 0);
  EXPECT_EQ(RunClient({"--user", "emil", "dout_timer", "2", "0", "false"}).status, 0);
  EXPECT_EQ(
      RunClient({"--host", "127.0.0.1", "--port", "1969", "dout", "1", "ein"}, {"USER=zed"}).status,
      0);

  const std::string entries = inst.log();
  EXPECT_THAT(entries, HasSubstr(" [o] Pumpe: ein\n"));
  EXPECT_THAT(entries, HasSubstr(" [b] Maske 5: ein\n"));
  EXPECT_THAT(entries, HasSubstr(" [c] Maske -1: aus\n"));
  EXPECT_THAT(entries, HasSubstr(" [d] Pumpe: Timer = 30 min [ein]\n"));
  EXPECT_THAT(entries, HasSubstr(" [e] Ventil: Timer = 0 min [off]\n"));
  EXPECT_THAT(entries, HasSubstr(" [z] Brenner: ein"));
}

// No server is needed below; a listener of the test's own stands in where one
// must accept.
TEST(ClientWithoutServer, NoListenerOrNoReplyGivesStatusThree) {
  const std::string freePort = std::to_string(FreePort());  // bound by nobody

  ClientRun refused = RunClient({"--port", freePort, "debug", "1"});
  EXPECT_EQ(refused.status, 3);
  EXPECT_EQ(refused.out, "");
  EXPECT_THAT(refused.err, HasSubstr("cannot connect to 127.0.0.1:" + freePort));

  // The connection completes in the backlog, as while the server serves
  // another client, but nothing ever answers: the client waits the time-out
  // given, at least.
  TcpListener silent;
  ASSERT_EQ(silent.open("", 0, 1), ListenResult::Ok);
  const int64_t start = NowMs();
  ClientRun unanswered =
      RunClient({"--port", std::to_string(silent.port()), "--timeout", "400", "debug", "1"});
  EXPECT_GE(NowMs() - start, 400);
  EXPECT_EQ(unanswered.status, 3);
  EXPECT_EQ(unanswered.out, "");
  EXPECT_THAT(unanswered.err, HasSubstr("no reply from 127.0.0.1:" + std::to_string(silent.port()) +
                                        " within 400 ms"));
}

// The client waits for the port to be its own (a probe answered "ok"),
// then sends its line and takes everything up to the server's close as the
// reply: one without a line end, sent in pieces with a pause between them,
// comes whole.
TEST(ClientWithoutServer, ProbesThenSendsOneLineAndTakesTheReplyUntilTheServerCloses) {
  const std::string kReply = std::string(1500, '.') + "Tessaro.Dout: mode=EIN nicht zul\xE4ssig";
  TcpListener listener;
  ASSERT_EQ(listener.open("", 0, 1), ListenResult::Ok);
  std::string received;
  std::thread server([&] {
    if (!listener.socket().waitReadable(5000)) return;
    Socket s = listener.accept();
    char buffer[256];
    auto lines = [&] { return std::count(received.begin(), received.end(), '\n'); };
    while (lines() < 2 && s.waitReadable(5000)) {
      const long n = s.receive(buffer, sizeof buffer);
      if (n <= 0) return;
      received.append(buffer, static_cast<size_t>(n));
      if (lines() == 1 && received.back() == '\n') s.sendAll("ok\r\n");
    }
    s.sendAll(kReply.substr(0, 700));
    // The client's end of sending, then the rest after it: only the close ends the reply.
    while (s.waitReadable(5000) && s.receive(buffer, sizeof buffer) > 0) {
    }
    s.sendAll(kReply.substr(700));
  });
  ClientRun r =
      RunClient({"--port", std::to_string(listener.port()), "--user", "op", "dout", "3", "EIN"});
  server.join();
  EXPECT_EQ(received, "cmd=debug&username=client\r\ncmd=dout&username=op&outn=3&mode=EIN\r\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kReply + "\n");
}

TEST(ClientWithoutServer, UsageErrorsGiveStatusTwoAndSendNothing) {
  TcpListener listener;
  ASSERT_EQ(listener.open("", 0, 8), ListenResult::Ok);
  const std::string port = std::to_string(listener.port());

  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"frobnicate", "1"},
      {"DOUT", "3", "ein"},
      {"dout", "3"},
      {"dout", "3", "ein", "extra"},
      {"dout", "abc", "ein"},
      {"dout", "32", "ein"},
      {"dout", "-1", "ein"},
      {"dout", "3", "ein&outn=4"},
      {"dout_bin", "4294967296", "ein"},
      {"dout_bin", "0x5", "ein"},
      {"dout_timer", "3", "30", "ein"},
      {"dout_timer", "3", "-5", "true"},
      {"debug"},
      {"debug", "1x"},
      {"--host", "localhost", "debug", "1"},
      {"--host", "300.1.1.1", "debug", "1"},
      {"--port", "0", "debug", "1"},
      {"--port", "70000", "debug", "1"},
      {"--timeout", "0", "debug", "1"},
      {"--user", "a&b", "debug", "1"},
      {"--user", std::string(1100, 'u'), "debug", "1"},
      {"--bogus", "debug", "1"},
      {"debug", "1", "--timeout"},
      {"--raw", "cmd=debug&username=x\r\ncmd=debug&username=y"},
      {"--raw", "cmd=debug&username=x", "debug", "1"},
  };
  for (const auto& args : wrong) {
    std::vector<std::string> withPort{"--port", port};
    withPort.insert(withPort.end(), args.begin(), args.end());
    ClientRun r = RunClient(withPort);
    std::string shown;
    for (const auto& a : args) shown += "'" + a.substr(0, 40) + "' ";
    EXPECT_EQ(r.status, 2) << shown;
    EXPECT_EQ(r.out, "") << shown;
    EXPECT_THAT(r.err, StartsWith("tessaro_client: ")) << shown;
  }
  EXPECT_FALSE(listener.socket().waitReadable(0)) << "a usage error connected to the server";

  ClientRun help = RunClient({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_THAT(help.out, StartsWith("usage: tessaro_client"));
}

}  // namespace
