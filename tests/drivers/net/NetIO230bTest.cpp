#include "drivers/net/NetIO230b.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/LoadConfig.h"
#include "tests/support/TestInstallation.h"
#include "tools/support/Bytes.h"
#include "tools/support/NetioSwitch.h"
#include "tools/support/Wait.h"

namespace {

// The fixture takes the name NetioSwitch in here; the switch is ::NetioSwitch.
using Fault = ::NetioSwitch::Fault;
using Lines = std::vector<std::string>;

constexpr char kFault[] = "\n12:00:30 dev3(NetIo230b): Datenausgabe fehlgeschlagen";
constexpr char kNoConnect[] =
    "NETIO: 0000\nNetIO230b::do_WriteAllPortBits: connect fehlgeschlagen\n";

// The driver waits about a second for the switch; a write that took this
// long waited for something else (the switch's own patience is longer still).
constexpr int64_t kGivenUpWithinMs = 8000;

int64_t millisecondsFor(NetIO230b& device) {
  const int64_t start = NowMs();
  device.do_WriteAllPortBits();
  return NowMs() - start;
}

// Device 3 is configured for the fake switch's loopback port.
class NetioSwitch : public ::testing::Test {
 protected:
  void SetUp() override { device = deviceFor(sw.port()); }
  // Device 3 for a switch on port, its start-up report taken.
  std::unique_ptr<NetIO230b> deviceFor(uint16_t port) {
    inst.writeIni("[TCP/IP]\ndev3=127.0.0.1," + std::to_string(port) + "\n");
    auto built = std::make_unique<NetIO230b>(inst.t(), 3);
    inst.console.take();
    return built;
  }

  TestInstallation inst;
  ::NetioSwitch sw{[] {
    ::NetioSwitch::Options o;
    o.patienceMs = 30000;  // far beyond the driver's time-outs
    return o;
  }()};
  std::unique_ptr<NetIO230b> device;
};

TEST_F(NetioSwitch, LogsInAndSendsThePortListWithOutputZeroFirst) {
  device->setOutputBit(0, 1);
  device->setOutputBit(2, 1);
  EXPECT_EQ(device->do_WriteAllPortBits(), 0);
  EXPECT_EQ(sw.take(), (Lines{"login pxmrt pxmrt\n", "port list 1010\n"}));
  EXPECT_EQ(sw.connections(), 1);
  EXPECT_EQ(inst.console.output(), "NETIO: 1010\n");
  EXPECT_TRUE(device->isValid());
  EXPECT_FALSE(device->hasChanged());
  EXPECT_EQ(CountOf(inst.log(), "fehlgeschlagen"), 0u);
}

TEST_F(NetioSwitch, BitsAboveTheFourthOutputAreNeverSent) {
  device->outputBits = 0xFFFFFFF0u | 10u;
  EXPECT_EQ(device->do_WriteAllPortBits(), 0);
  EXPECT_EQ(sw.take(), (Lines{"login pxmrt pxmrt\n", "port list 0101\n"}));
  EXPECT_EQ(inst.console.output(), "NETIO: 0101\n");
}

TEST_F(NetioSwitch, EveryFailedExchangeIsLoggedAndInvalidUntilAWriteSucceeds) {
  const struct {
    Fault fault;
    size_t greetingLength;
    const char* console;
  } cases[] = {
      {Fault::None, 33, "Fehler c\n"},
      {Fault::ShortLoginReply, 34, "Fehler d\n"},
      {Fault::DropAfterLogin, 34, "Fehler d\n"},
      {Fault::ResetAfterLogin, 34, "Fehler d\n"},
      {Fault::FullBufferReply, 34, "Fehler e\n"},
      {Fault::WrongReply, 34, "Fehler f rxbuf:550 ERR\r\n\n"},
      {Fault::ReplyInTwoPieces, 34, "Fehler f rxbuf:250 \n"},
      {Fault::NoReply, 34, "Fehler f rxbuf:\n"},
  };
  size_t faults = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.console);
    sw.setFault(c.fault, c.greetingLength);
    device->setOutputBit(1, 1);
    EXPECT_EQ(device->do_WriteAllPortBits(), -1);
    EXPECT_EQ(inst.console.take(), std::string("NETIO: 0100\n") + c.console);
    EXPECT_FALSE(device->isValid());
    EXPECT_FALSE(device->hasChanged());
    EXPECT_EQ(CountOf(inst.log(), kFault), ++faults);

    sw.setFault(Fault::None);
    EXPECT_EQ(device->do_WriteAllPortBits(), 0);
    EXPECT_EQ(inst.console.take(), "NETIO: 0100\n");
    EXPECT_TRUE(device->isValid());
    EXPECT_EQ(CountOf(inst.log(), kFault), faults);
  }
}

TEST_F(NetioSwitch, RefusedConnectionIsAFailedWrite) {
  ::NetioSwitch refusing(Fault::Refuse);
  device = deviceFor(refusing.port());
  EXPECT_EQ(device->do_WriteAllPortBits(), -1);
  EXPECT_EQ(inst.console.output(), kNoConnect);
  EXPECT_FALSE(device->isValid());
  EXPECT_EQ(CountOf(inst.log(), kFault), 1u);
}

TEST_F(NetioSwitch, DisabledOutputConnectsToNothingAndCountsAsSuccess) {
  sw.setFault(Fault::WrongReply);
  device->do_WriteAllPortBits();
  ASSERT_FALSE(device->isValid());
  inst.console.take();
  const int connections = sw.connections();

  inst.t().EnableOutput = false;
  device->setOutputBit(3, 1);
  EXPECT_EQ(device->do_WriteAllPortBits(), 0);
  EXPECT_EQ(inst.console.output(), "NETIO: 0001\n");
  EXPECT_EQ(sw.connections(), connections);
  EXPECT_TRUE(device->isValid());
  EXPECT_FALSE(device->hasChanged());
}

TEST_F(NetioSwitch, SilentSwitchHoldsAWriteForAboutASecondOnly) {
  sw.setFault(Fault::Silent);
  EXPECT_LT(millisecondsFor(*device), kGivenUpWithinMs);
  EXPECT_EQ(inst.console.output(), "NETIO: 0000\nFehler c\n");
  EXPECT_EQ(CountOf(inst.log(), kFault), 1u);
}

// Without its own time-out the connect would wait for the kernel's, about
// two minutes.
TEST_F(NetioSwitch, UnansweredConnectGivesUpWithinAboutASecond) {
  ::NetioSwitch unanswered(Fault::Unanswered);
  if (!unanswered.ready()) GTEST_SKIP() << unanswered.failure();
  device = deviceFor(unanswered.port());
  EXPECT_LT(millisecondsFor(*device), kGivenUpWithinMs);
  EXPECT_EQ(inst.console.output(), kNoConnect);
  EXPECT_FALSE(device->isValid());
}

// Each value with the address and port it gives.
void ExpectAddresses(std::initializer_list<std::tuple<const char*, uint32_t, uint16_t>> rows) {
  for (const auto& [value, address, port] : rows) {
    const NetAddress a = parseSocketAddress(value);
    EXPECT_EQ(std::pair(a.address, a.port), std::pair(address, port)) << '"' << value << '"';
  }
}

TEST(NetioAddress, ValueIsDottedAddressCommaPort) {
  ExpectAddresses({{"192.168.1.20,1234", 0xC0A80114u, 1234}, {",,10.0.0.1,80", 0x0A000001u, 80}});
}

TEST(NetioAddress, MissingPartsFallBackToAnyAddressAndPortZero) {
  ExpectAddresses({{"", 0, 0}, {",,,", 0, 0},
                   {"192.168.1.20", 0xC0A80114u, 0}, {"192.168.1.20,", 0xC0A80114u, 0}});
}

TEST(NetioAddress, PortIsTakenModulo65536AndAddressIsNotChecked) {
  ExpectAddresses({{"10.0.0.1,65535", 0x0A000001u, 65535}, {"10.0.0.1,65536", 0x0A000001u, 0},
                   {"10.0.0.1,70000", 0x0A000001u, 4464},  {"10.0.0.1,-1", 0x0A000001u, 65535},
                   {"10.0.0.1, 80x", 0x0A000001u, 80},     {"switch.local,80", 0xFFFFFFFFu, 80}});
}

TEST(NetioAddress, EmptyValueIsShownAsAnyAddressAndEveryWriteFailsToConnect) {
  TestInstallation inst;
  inst.writeIni("[Devices]\ndev2=netio230b\n[TCP/IP]\ndev2=\n");
  LoadDevices(inst.t());
  EXPECT_EQ(inst.console.take(), "\nDEVICES:\ndev2: netio230b\n   0.0.0.0:0\n");
  auto* device = dynamic_cast<NetIO230b*>(inst.t().devices.get(2));
  ASSERT_NE(device, nullptr);
  EXPECT_STREQ(device->getName(), "NetIo230b");
  EXPECT_EQ(device->getNumOutputs(), 4);
  EXPECT_EQ(device->do_WriteAllPortBits(), -1);
  EXPECT_EQ(inst.console.take(), kNoConnect);
}

TEST(NetioReply, OnlyExactlyTheAcknowledgementSucceeds) {
  EXPECT_EQ(judgePortListReply("250 OK\r\n", 8), PortListReply::Ok);
  EXPECT_EQ(judgePortListReply("250 OK\r\n\r\n", 10), PortListReply::Wrong);
  EXPECT_EQ(judgePortListReply("250 OK\r\n\0x", 10), PortListReply::Wrong);
  EXPECT_EQ(judgePortListReply("250 OK\n", 7), PortListReply::Wrong);
  EXPECT_EQ(judgePortListReply("", 0), PortListReply::Wrong);
  EXPECT_EQ(judgePortListReply("", -1), PortListReply::Wrong);
  const std::string full(256, 'x');
  EXPECT_EQ(judgePortListReply(full.c_str(), 255), PortListReply::Wrong);
  EXPECT_EQ(judgePortListReply(full.c_str(), 256), PortListReply::BufferFull);
}

}  // namespace
