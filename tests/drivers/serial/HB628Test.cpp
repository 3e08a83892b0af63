#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "core/LoadConfig.h"
#include "drivers/serial/DevicePorts.h"
#include "drivers/serial/HB628.h"
#include "tests/support/Pty.h"
#include "tests/support/TestInstallation.h"
#include "tools/support/Bytes.h"

namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

// Channel 1 = 1, channel 2 = 1000, channels 3 ... 7 = 259 ... 263, channel 8 = 65535.
const std::string kAnswer =
    std::string("\x00\x01\x03\xE8\x01\x03\x01\x04\x01\x05\x01\x06\x01\x07\xFF\xFF\x5A", 17);

const char kAiGood[] =
    "   <AI>\n      <valid>1</valid>\n      <CH>0.001</CH>\n      <CH>1.000</CH>\n"
    "      <CH>0.259</CH>\n      <CH>0.260</CH>\n      <CH>0.261</CH>\n      <CH>0.262</CH>\n"
    "      <CH>0.263</CH>\n      <CH>65.535</CH>\n   </AI>\n";

TEST(HB628Answer, SeventeenBytesGiveEightBigEndianCounts) {
  int32_t ch[8] = {};
  ASSERT_TRUE(ParseHB628Answer(reinterpret_cast<const uint8_t*>(kAnswer.data()), 17, ch));
  EXPECT_EQ(std::vector<int32_t>(ch, ch + 8),
            (std::vector<int32_t>{1, 1000, 259, 260, 261, 262, 263, 65535}));
}

TEST(HB628Answer, AnyOtherLengthIsNoAnswerAndChangesNothing) {
  const std::string longer = kAnswer + "x";
  int32_t ch[8] = {7, 7, 7, 7, 7, 7, 7, 7};
  for (size_t n : {0u, 16u, 18u, 32u}) {
    EXPECT_FALSE(ParseHB628Answer(reinterpret_cast<const uint8_t*>(longer.data()), n, ch)) << n;
  }
  EXPECT_EQ(std::vector<int32_t>(ch, ch + 8), std::vector<int32_t>(8, 7));
}

// Modules dev0 and dev1 on COM1 and COM2, each a pseudo-terminal.
class HB628Test : public ::testing::Test {
 protected:
  void SetUp() override {
    inst.writeIni(
        "[Devices]\ndev0=hb628\ndev1=hb628\n[COM-Ports]\ndev0=COM1\ndev1=COM2\n"
        "[COM-Devices]\nCOM1=" +
        inst.dir() + "/link1\nCOM2=" + pty2.slavePath() + "\n");
    Link(pty1.slavePath(), inst.dir() + "/link1");
    LoadDevices(inst.t());
    ComInit(inst.t());
    OpenAllDevicePorts(inst.t());
    inst.console.take();
  }
  HB628& hb(int i) { return static_cast<HB628&>(*inst.t().devices.get(i)); }
  // The answer reaches the port before the next poll.
  void answer(Pty& pty, const std::string& bytes, int port) {
    const int before = inst.t().com.ComInQueue(port);
    pty.send(bytes);
    ASSERT_TRUE(WaitUntil(
        [&] { return inst.t().com.ComInQueue(port) == before + static_cast<int>(bytes.size()); }));
  }
  void pollAnswered(int n) {
    for (int i = 0; i < n; ++i) {
      hb(0).do_EverySecond();
      ASSERT_EQ(pty1.receive(3), "c09");
      answer(pty1, kAnswer, 0);
    }
  }
  // Waits for n requests on the module's side; no more may follow them.
  static void expectRequests(Pty& pty, int n) {
    std::string requests;
    for (int i = 0; i < n; ++i) requests += "c09";
    EXPECT_EQ(pty.receive(requests.size()), requests);
    EXPECT_EQ(pty.drain(), "");
  }
  std::string fastXml(int i) {
    std::string file;
    hb(i).do_WriteFastXml(file);
    return file;
  }

  Pty pty1, pty2;
  TestInstallation inst{Files::Disk};  // device links live in its directory
};

TEST_F(HB628Test, RequestsEverySecondAndShowsTheAnswer) {
  EXPECT_EQ(hb(0).do_EverySecond(), 0);  // nothing to read yet: one failed poll
  EXPECT_EQ(pty1.receive(3), "c09");
  EXPECT_EQ(hb(0).errorCount, 0);
  answer(pty1, kAnswer, 0);
  EXPECT_EQ(hb(0).do_EverySecond(), 0);
  expectRequests(pty1, 1);
  EXPECT_TRUE(hb(0).dataValid);
  EXPECT_EQ(hb(0).errorCount, 0);
  EXPECT_EQ(fastXml(0), kAiGood);
}

TEST_F(HB628Test, WithoutAPortTheElementShowsInvalidZeros) {
  inst.writeIni("[Devices]\ndev0=hb628\n");
  LoadDevices(inst.t());
  EXPECT_EQ(hb(0).comPort, -1);
  EXPECT_EQ(hb(0).do_EverySecond(), 0);
  std::string zeros;
  for (int i = 0; i < 8; ++i) zeros += "      <CH>0.000</CH>\n";
  EXPECT_EQ(fastXml(0), "   <AI>\n      <valid>0</valid>\n" + zeros + "   </AI>\n");
}

TEST_F(HB628Test, WrongLengthsAndSplitAnswersAreFailedPolls) {
  pollAnswered(1);
  hb(0).do_EverySecond();
  ASSERT_EQ(hb(0).errorCount, 0);
  const std::string good = fastXml(0);

  // In turn: what reaches the port before a poll, and the failed polls by then.
  const std::string other(17, '\x11');
  const std::tuple<const char*, std::string, int32_t> rows[] = {
      {"18 bytes", other + "x", 1},
      {"two answers: 32 read, 2 left over", other + other, 2},
      {"2 left over + 17", other, 3},
      {"the first 10 bytes of an answer", other.substr(0, 10), 4},
      {"the other 7", other.substr(10), 5},
  };
  for (const auto& [what, bytes, failed] : rows) {
    SCOPED_TRACE(what);
    answer(pty1, bytes, 0);
    hb(0).do_EverySecond();
    EXPECT_EQ(hb(0).errorCount, failed);
  }
  EXPECT_EQ(fastXml(0), good);  // readings and validity kept
  expectRequests(pty1, 6);
}

TEST_F(HB628Test, ASilentModuleStaysValidTenPollsThenTimesOutOnce) {
  pollAnswered(1);
  hb(0).do_EverySecond();
  for (int i = 1; i <= 10; ++i) {
    hb(0).do_EverySecond();
    EXPECT_TRUE(hb(0).dataValid) << i;
  }
  EXPECT_THAT(inst.log(), Not(HasSubstr("TIMEOUT")));
  hb(0).do_EverySecond();  // the eleventh still sends its request
  expectRequests(pty1, 12);
  EXPECT_EQ(hb(0).portState, -1);
  EXPECT_FALSE(hb(0).dataValid);
  for (int i = 0; i < 5; ++i) hb(0).do_EverySecond();
  EXPECT_EQ(pty1.drain(), "");  // no traffic until the port is restarted
  EXPECT_EQ(CountOf(inst.log(), "dev0: TIMEOUT HB628"), 1u);
  EXPECT_THAT(fastXml(0), HasSubstr("<valid>0</valid>"));
}

TEST_F(HB628Test, FromStartTheTwelfthFailedPollTimesOut) {
  for (int i = 1; i <= 11; ++i) hb(1).do_EverySecond();
  EXPECT_EQ(hb(1).portState, 1);
  hb(1).do_EverySecond();
  EXPECT_EQ(hb(1).portState, -1);
  EXPECT_THAT(inst.log(), HasSubstr("dev1: TIMEOUT HB628"));
}

TEST_F(HB628Test, OneFailedModuleRestartsAllAndOnlyItIsReported) {
  pollAnswered(2);
  hb(0).do_EverySecond();
  hb(0).do_EverySecond();  // dev0 has one failed poll behind it
  for (int i = 0; i < 12; ++i) hb(1).do_EverySecond();
  expectRequests(pty2, 12);
  ASSERT_EQ(hb(1).portState, -1);
  ASSERT_EQ(hb(0).errorCount, 1);

  SuperviseComPorts(inst.t());
  EXPECT_EQ(inst.console.take(),
            "dev0: COM1 erfolgreich geoeffnet !\ndev1: COM2 erfolgreich geoeffnet !\n"
            "HB628 Treiber Restart (dev1): -1 --> 1\n");
  EXPECT_THAT(inst.log(), AllOf(HasSubstr("HB628 Treiber Restart (dev1): -1 --> 1"),
                                Not(HasSubstr("(dev0)"))));
  EXPECT_EQ(hb(0).prevPortState, 1);
  EXPECT_EQ(hb(0).errorCount, 0);
  EXPECT_EQ(hb(1).errorCount, 0);

  hb(1).do_EverySecond();  // polls resume
  EXPECT_EQ(pty2.receive(3), "c09");
}

TEST_F(HB628Test, AWorkingModuleIsReopenedWithTheFailedOne) {
  hb(1).portState = -1;
  Link(inst.dir() + "/nothing", inst.dir() + "/link1");  // dev0's port goes away
  SuperviseComPorts(inst.t());
  EXPECT_EQ(inst.console.take(),
            "dev0: COM1 kann nicht geoeffnet werden !\ndev1: COM2 erfolgreich geoeffnet !\n"
            "HB628 Treiber Restart (dev0): 1 --> -2\n"
            "HB628 Treiber Restart (dev1): -1 --> 1\n");
}

// The master reads nothing until the pseudo-terminal's buffer is full, so
// requests cannot be written.
TEST_F(HB628Test, TwoFailedWritesGiveUpThePort) {
  char chunk[64];
  std::memset(chunk, 'x', sizeof chunk);
  while (inst.t().com.ComWrite(0, chunk, sizeof chunk) == sizeof chunk) {
  }
  answer(pty1, kAnswer, 0);
  hb(0).do_EverySecond();
  EXPECT_EQ(hb(0).writeRetries, 1);
  EXPECT_EQ(hb(0).portState, 1);
  EXPECT_TRUE(hb(0).dataValid);
  EXPECT_THAT(inst.log(), Not(HasSubstr("WRITE ERROR")));
  hb(0).do_EverySecond();
  EXPECT_EQ(hb(0).portState, -2);
  EXPECT_FALSE(hb(0).dataValid);
  EXPECT_THAT(inst.log(), HasSubstr("dev0: WRITE ERROR HB628 (2 retries)"));

  // The restart does not restore the budget: the next failed write goes
  // unreported, and the silent module is caught by the time-out.
  SuperviseComPorts(inst.t());
  EXPECT_THAT(inst.console.take(), HasSubstr("HB628 Treiber Restart (dev0): -2 --> 1\n"));
  hb(0).do_EverySecond();
  EXPECT_EQ(hb(0).writeRetries, -1);
  EXPECT_EQ(hb(0).portState, 1);
  EXPECT_EQ(CountOf(inst.log(), "WRITE ERROR"), 1u);
  for (int i = 0; i < 10; ++i) hb(0).do_EverySecond();
  EXPECT_EQ(hb(0).portState, -1);
  EXPECT_EQ(CountOf(inst.log(), "WRITE ERROR"), 1u);
  EXPECT_THAT(inst.log(), HasSubstr("dev0: TIMEOUT HB628"));
}

TEST_F(HB628Test, AVanishedDeviceNeitherCrashesNorStalls) {
  pollAnswered(1);
  pty1.closeMaster();
  // Every call returns with the port given up; one that stalled would hold
  // the main loop, and shows here as the test's time-out.
  for (int i = 0; i < 15; ++i) EXPECT_EQ(hb(0).do_EverySecond(), 0);
  EXPECT_EQ(hb(0).portState, -2);  // the writes fail
  SuperviseComPorts(inst.t());
  EXPECT_EQ(hb(0).portState, -2);
  for (int i = 0; i < 15; ++i) hb(0).do_EverySecond();
  EXPECT_THAT(inst.console.output(), HasSubstr("HB628 Treiber Restart (dev0): -2 --> -2\n"));
}

}  // namespace
