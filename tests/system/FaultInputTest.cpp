// Faults on the command port: clients that flood, send endless or random
// lines, or come and go a thousand times. After each the loop must serve a
// fresh client, have lost nothing and hold no more than before.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <iostream>
#include <string>

#include "tests/support/FaultHarness.h"

namespace {

const char kIni[] =
    "[Devices]\ndev0=dummy_io\n"
    "[Digital_Outputs]\nout0=0,0,-1,aus,Pumpe\nout1=0,1,-1,aus,Brenner\n";

class FaultInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    p = inst.start(TESSARO_BINARY);
    ASSERT_TRUE(p) << inst.why;
    // Warm-up: a command, a long line and a reply, so that buffers that grow
    // once have grown before the first measurement.
    ASSERT_EQ(inst.dout(0, "ein", "Pumpe"), "ok\r\n");
    Blast(std::string(2000, 'w') + "\n", true);
    ASSERT_TRUE(Serves());
    before = ReadResources(p->pid());
  }
  // The checks every case ends with.
  void expectUnharmed() {
    EXPECT_TRUE(Serves());
    EXPECT_EQ(inst.dout(1, "ein", "Brenner"), "ok\r\n");
    EXPECT_TRUE(inst.everyCommandLogged());
    EXPECT_TRUE(StatusFilesComplete(inst.debug));
    EXPECT_TRUE(NoGrowth(before, ReadResources(p->pid())));
    EXPECT_EQ(Stop(*p), 0) << p->output().substr(0, 2000);
  }

  ServerInstallation inst{kIni};
  std::unique_ptr<Process> p;
  Resources before;
};

TEST_F(FaultInputTest, ClientThatNeverReadsIsDisconnectedAndTheNextOneServed) {
  // Unknown commands, each answered with a reply as long as the request;
  // more of them than every socket buffer on the way holds (tcp_wmem and
  // tcp_rmem allow 4 and 32 MiB at most).
  const std::string request = "cmd=" + std::string(200, 'f') + "&username=flood\r\n";
  std::string flood;
  while (flood.size() < 64u * 1024 * 1024) flood += request;
  const BlastResult r = Blast(flood, false);
  EXPECT_TRUE(r.peerClosed) << "a client that does not read stayed connected";
  // Closed because the replies backed up, not because the flood was over.
  EXPECT_LT(r.sent, flood.size());
  std::cout << "[   info   ] flood: closed after " << r.sent << " bytes sent\n";
  EXPECT_TRUE(p->waitForOutput("TCP/IP Verbindung geschlossen\n", 10000));
  expectUnharmed();
}

TEST_F(FaultInputTest, MebibyteWithoutLineFeedGetsOneReplyAndExecutesNothing) {
  // Commands glued together with "&" so that any of them executing would show.
  std::string line;
  while (line.size() < (1u << 20)) line += "cmd=dout&username=x&outn=0&mode=aus&";
  EXPECT_EQ(Blast(line + "\r\n", true).replies, "Tessaro.ParseUrlPara: zeile zu lang [>1023]\r\n");
  // The loop takes 255 bytes a pass: the next client waits until the rest
  // of the line has been read and dropped.
  const int64_t t0 = NowMs();
  EXPECT_TRUE(Serves(60000));
  std::cout << "[   info   ] 1 MiB line dropped after " << NowMs() - t0 << " ms\n";
  EXPECT_EQ(inst.log().find("[x]"), std::string::npos) << inst.log();
  expectUnharmed();
}

TEST_F(FaultInputTest, RandomBytesWithZerosAreAnsweredOrDroppedLineByLine) {
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    EXPECT_FALSE(Blast(RandomBytes(64 * 1024, seed), true).peerClosed)
        << "seed " << seed << ": a client that reads its replies was dropped";
  }
  expectUnharmed();
}

// Every other client waits for its reply, so the backlog of one never
// overflows: no segment of any client is ever sent twice (a connect dropped
// by a full backlog, or its data, would be).
TEST_F(FaultInputTest, ThousandConnectsAndDisconnectsLeaveNoTrace) {
  unsigned retransmitted = 0;
  for (int i = 0; i < 1000; ++i) {
    CommandClient c(1969);
    ASSERT_TRUE(c.connected()) << "cycle " << i;
    if (i % 2 == 0) {
      // Half a command left behind must not be glued to the next client's
      // line: that one's request is answered as sent.
      if (i % 10 == 0) c.send("cmd=dout&username=x&outn=0&mo");
    } else {
      c.send("cmd=debug&username=cycle&enaoutp=1\r\n");
      ASSERT_EQ(c.receive(0), "ok\r\n") << "cycle " << i;
    }
    tcp_info info{};
    socklen_t size = sizeof info;
    getsockopt(c.fd(), IPPROTO_TCP, TCP_INFO, &info, &size);
    retransmitted += info.tcpi_total_retrans;
  }
  EXPECT_EQ(retransmitted, 0u);
  EXPECT_EQ(inst.log().find("[x]"), std::string::npos) << inst.log();
  expectUnharmed();
}

}  // namespace
