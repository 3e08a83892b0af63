#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/CommandPort.h"
#include "core/MainLoop.h"
#include "tests/support/Process.h"
#include "tests/support/TestInstallation.h"
#include "tools/support/Bytes.h"

namespace {

// The server's end of the client's connection, among this process's own
// descriptors: the socket whose peer is the client's address. -1 if none.
int ServerEndOf(const CommandClient& client) {
  sockaddr_in own{};
  socklen_t length = sizeof own;
  if (getsockname(client.fd(), reinterpret_cast<sockaddr*>(&own), &length) != 0) return -1;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    const int fd = std::stoi(entry.path().filename().string());
    sockaddr_in peer{};
    length = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
        length == sizeof peer && peer.sin_port == own.sin_port &&
        peer.sin_addr.s_addr == own.sin_addr.s_addr) {
      return fd;
    }
  }
  return -1;
}

constexpr const char* kConnected = "TCP/IP Verbindung hergestellt\n";
constexpr const char* kClosed = "TCP/IP Verbindung geschlossen\n";

class CommandPortLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(loop.startUp(), 0);
    inst.console.take();
  }

  // Runs loop passes until done() holds; false after timeoutMs.
  bool passUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    return WaitUntil([&] { if (done()) return true; loop.pass(); return false; }, timeoutMs);
  }
  bool passUntilConsoleShows(const std::string& text, size_t times = 1) {
    return passUntil([&] { return CountOf(inst.console.output(), text) >= times; });
  }
  bool passUntilReceived(CommandClient& peer, const std::string& bytes) {
    return passUntil([&] { return peer.received().size() >= bytes.size(); }) &&
           peer.received() == bytes;
  }
  void passes(int n) {
    for (int i = 0; i < n; ++i) loop.pass();
  }
  // A new client is accepted as the given connection and served.
  void expectNextClientServed(size_t connection) {
    CommandClient next(loop.port());
    ASSERT_TRUE(passUntilConsoleShows(kConnected, connection));
    next.send("cmd=debug&username=n&enaoutp=0\r\n");
    EXPECT_TRUE(passUntilReceived(next, "ok\r\n"));
    EXPECT_FALSE(inst.t().EnableOutput);
  }

  TestInstallation inst;
  // Each pass waits at most 10 ms for the client.
  MainLoop loop{inst.t(), 0, 10};
};

TEST_F(CommandPortLoop, ConnectAndDisconnectAreReportedAndTheNextClientIsAccepted) {
  {
    CommandClient a(loop.port());
    ASSERT_TRUE(a.connected());
    ASSERT_TRUE(passUntilConsoleShows(kConnected));
  }
  ASSERT_TRUE(passUntilConsoleShows(kClosed));
  EXPECT_EQ(inst.console.take(), std::string(kConnected) + kClosed);
  expectNextClientServed(1);
}

TEST_F(CommandPortLoop, SecondClientWaitsUntilTheFirstHasGone) {
  CommandClient a(loop.port());
  ASSERT_TRUE(passUntilConsoleShows(kConnected));
  CommandClient b(loop.port());
  ASSERT_TRUE(b.connected());  // completed by the backlog
  b.send("cmd=debug&username=b&enaoutp=0\n");
  passes(20);
  EXPECT_EQ(b.received(), "");
  EXPECT_TRUE(inst.t().EnableOutput);
  EXPECT_EQ(CountOf(inst.console.output(), kConnected), 1u);

  a.close();
  EXPECT_TRUE(passUntilReceived(b, "ok\r\n"));
  EXPECT_FALSE(inst.t().EnableOutput);
  EXPECT_EQ(inst.console.output(), std::string(kConnected) + kClosed + kConnected);
}

TEST_F(CommandPortLoop, EveryRequestOfOneSendIsAnsweredAtOnceInOrder) {
  CommandClient a(loop.port());
  ASSERT_TRUE(passUntilConsoleShows(kConnected));
  // Nothing more is sent: the second answer must not wait for another receive.
  a.send("cmd=debug&username=x&enaoutp=0\r\ncmd=nosuch&username=x\r\n\ncmd=debug&user");
  EXPECT_TRUE(passUntilReceived(a, "ok\r\nTessaro.ParseUrlPara: unbekanntes Kommando: nosuch\r\n"));
  EXPECT_FALSE(inst.t().EnableOutput);
  a.send("name=x&enaoutp=1\r\n");
  EXPECT_TRUE(passUntilReceived(
      a, "ok\r\nTessaro.ParseUrlPara: unbekanntes Kommando: nosuch\r\nok\r\n"));
  EXPECT_TRUE(inst.t().EnableOutput);
}

// Without TCP_NODELAY the kernel holds every reply after the first until the
// client acknowledges it, which a client delays by some 40 ms: the replies of
// a burst would then wait for the client, whatever the loop does.
TEST_F(CommandPortLoop, EveryReplyOfABurstLeavesInThePassThatAnswersIt) {
  CommandClient a(loop.port());
  ASSERT_TRUE(passUntilConsoleShows(kConnected));
  const int server = ServerEndOf(a);
  ASSERT_GE(server, 0);
  int noDelay = 0;
  socklen_t length = sizeof noDelay;
  ASSERT_EQ(getsockopt(server, IPPROTO_TCP, TCP_NODELAY, &noDelay, &length), 0);
  EXPECT_NE(noDelay, 0);

  std::string burst;
  std::string replies;
  for (int i = 0; i < 10; ++i) {
    burst += "cmd=debug&username=b\r\n";  // ten of them fit one receive
    replies += "ok\r\n";
  }
  std::string expected;
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    const size_t before = expected.size();
    expected += replies;
    a.send(burst);
    ASSERT_TRUE(passUntil([&] { return a.received().size() > before; }));
    // No further pass: the one that answered has sent them all.
    EXPECT_TRUE(WaitUntil([&] { return a.received().size() >= expected.size(); }));
    ASSERT_EQ(a.received(), expected);
  }
}

TEST_F(CommandPortLoop, IncompleteLineOfAClientThatWentIsNotGluedToTheNextClient) {
  {
    CommandClient a(loop.port());
    ASSERT_TRUE(passUntilConsoleShows(kConnected));
    a.send("xx");
  }
  ASSERT_TRUE(passUntilConsoleShows(kClosed));  // "xx" was received before the close
  expectNextClientServed(2);
}

TEST_F(CommandPortLoop, LineOf1024CharactersIsRefusedAtOnceAndNothingOfItRuns) {
  CommandClient a(loop.port());
  ASSERT_TRUE(passUntilConsoleShows(kConnected));
  std::string tooLong = "cmd=debug&username=x&enaoutp=0";
  tooLong.resize(1024, '&');
  std::string longest = "cmd=nosuch&username=x";
  longest.resize(1023, '&');
  const std::string refused = "Tessaro.ParseUrlPara: zeile zu lang [>1023]\r\n";

  for (size_t at = 0; at < tooLong.size(); at += 200) a.send(tooLong.substr(at, 200));
  EXPECT_TRUE(passUntilReceived(a, refused));  // before its line feed
  a.send("more&more\n" + longest + "\n");
  EXPECT_TRUE(
      passUntilReceived(a, refused + "Tessaro.ParseUrlPara: unbekanntes Kommando: nosuch\r\n"));
  EXPECT_TRUE(inst.t().EnableOutput);
}

// Served by a port of its own: the flood takes thousands of passes, and a
// whole loop pass also rewrites the status file every time.
TEST(CommandPort, ClientThatNeverReadsIsDisconnectedAndServingGoesOn) {
  TestInstallation inst;
  CommandPort port(inst.t());
  ASSERT_EQ(port.open(0), ListenResult::Ok);
  CommandClient slow(port.port(), 5000, 2048);
  port.serve(1000);
  ASSERT_TRUE(port.clientConnected());
  // Each request is answered with an echo of its command: replies pile up
  // as fast as requests come in.
  const std::string request = "cmd=" + std::string(900, 'x') + "&username=x\n";
  std::string queued;
  int64_t longestServeMs = 0;
  const int64_t end = NowMs() + 60000;
  while (port.clientConnected() && NowMs() < end) {
    if (queued.size() < 8192) queued += request;
    queued.erase(0, slow.trySend(queued));
    const int64_t start = NowMs();
    port.serve(10);
    longestServeMs = std::max(longestServeMs, NowMs() - start);
  }
  ASSERT_FALSE(port.clientConnected());
  EXPECT_EQ(inst.console.take(), std::string(kConnected) + kClosed);
  // A serve that waited for the reader would wait for good: the client reads
  // nothing while serve runs.
  EXPECT_LT(longestServeMs, 10000);

  CommandClient next(port.port());
  port.serve(1000);
  next.send("cmd=debug&username=n&enaoutp=0\n");
  port.serve(1000);
  EXPECT_EQ(next.received(), "ok\r\n");
}

TEST_F(CommandPortLoop, ClientThatLeavesBeforeItsRepliesRaisesNoSignal) {
  for (int round = 1; round <= 3; ++round) {
    {
      CommandClient gone(loop.port());
      ASSERT_TRUE(passUntilConsoleShows(kConnected, static_cast<size_t>(round)));
      std::string requests;
      for (int i = 0; i < 6; ++i) requests += "cmd=debug&username=g&enaoutp=1\n";
      gone.send(requests);
    }
    ASSERT_TRUE(passUntilConsoleShows(kClosed, static_cast<size_t>(round)));
  }
  expectNextClientServed(4);
}

// Fills every free descriptor below a lowered limit, so accept fails.
class DescriptorShortage {
 public:
  DescriptorShortage() {
    getrlimit(RLIMIT_NOFILE, &saved_);
    const int lowestFree = dup(0);
    ::close(lowestFree);
    rlimit low = saved_;
    low.rlim_cur = static_cast<rlim_t>(lowestFree + 4);
    setrlimit(RLIMIT_NOFILE, &low);
    for (int fd; (fd = dup(0)) >= 0;) held_.push_back(fd);
  }
  ~DescriptorShortage() {
    for (const int fd : held_) ::close(fd);
    setrlimit(RLIMIT_NOFILE, &saved_);
  }

 private:
  rlimit saved_{};
  std::vector<int> held_;
};

// A bare port: while descriptors run short nothing may call through a
// vtable, because the sanitizers' own checks need descriptors too.
TEST(CommandPort, ConnectionIsReportedOnlyWhenAcceptSucceeded) {
  TestInstallation inst;
  CommandPort port(inst.t());
  ASSERT_EQ(port.open(0), ListenResult::Ok);
  CommandClient a(port.port());
  ASSERT_TRUE(a.connected());
  bool acceptedInShortage = false;
  {
    DescriptorShortage shortage;
    for (int i = 0; i < 5; ++i) port.serve(10);
    acceptedInShortage = port.clientConnected();
  }
  EXPECT_FALSE(acceptedInShortage);
  EXPECT_EQ(inst.console.output(), "");
  port.serve(1000);
  ASSERT_TRUE(port.clientConnected());
  EXPECT_EQ(inst.console.take(), kConnected);
}

}  // namespace
