#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "core/LoadConfig.h"
#include "devices/StatusFiles.h"
#include "drivers/serial/Denkovi_Relais.h"
#include "tests/support/FakeFtdiAdapter.h"
#include "tests/support/TestInstallation.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kWriteFailed[] = "DENKOVI: Datenausgabe fehlgeschlagen";
constexpr char kNoDevice[] =
    "   COM0\nNumber of devices is 0\nFT_Open failed\nFT_SetBitMode failed\n";
// What RelayBoard's start-up reports before it opens the board.
constexpr char kBoardListed[] =
    "   COM0\nNumber of devices is 1\n"
    "Dev 0:\n Flags=0x0\n Type=0x0\n ID=0x4036001\n LocId=0x10005\n"
    " SerialNumber=DAE001nA\n Description=FT245R USB FIFO\n ftHandle=0x0\n";

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// An installation whose FTDI library is a fake holding one relay board.
struct RelayBoard {
  RelayBoard() {
    ftdi.devices.push_back(
        FakeFtdiAdapter::Device(0x04036001, 0x10005, "DAE001nA", "FT245R USB FIFO"));
    inst.t().ftdi = &ftdi;
  }
  Denkovi_Relais& build() {
    device = std::make_unique<Denkovi_Relais>(inst.t(), 0);
    inst.console.take();
    return *device;
  }
  void setImage(uint32_t bits) {
    for (int n = 0; n < 32; ++n) device->setOutputBit(n, (bits >> n) & 1u);
  }

  TestInstallation inst;
  FakeFtdiAdapter ftdi;
  std::unique_ptr<Denkovi_Relais> device;
};

TEST(DenkoviRelais, ListsEveryDeviceAndOpensDeviceZeroForBitBangOnAllPins) {
  TestInstallation inst;
  FakeFtdiAdapter ftdi;
  // The relay board is the second device; device 0 is opened all the same.
  ftdi.devices.push_back(
      FakeFtdiAdapter::Device(0x04036010, 0x20003, "FT1A2B3C", "Dual RS232-HS", 0x2, 0x6));
  ftdi.devices.push_back(
      FakeFtdiAdapter::Device(0x04036001, 0x10005, "DAE001nAxxxxxxx", std::string(63, 'D')));
  ftdi.devices[1].ftHandle = 0xBEEF;
  inst.t().ftdi = &ftdi;

  Denkovi_Relais dev(inst.t(), 7);

  EXPECT_EQ(inst.console.output(),
            "   COM0\n"
            "Number of devices is 2\n"
            "Dev 0:\n Flags=0x2\n Type=0x6\n ID=0x4036010\n LocId=0x20003\n"
            " SerialNumber=FT1A2B3C\n Description=Dual RS232-HS\n ftHandle=0x0\n"
            "Dev 1:\n Flags=0x0\n Type=0x0\n ID=0x4036001\n LocId=0x10005\n"
            " SerialNumber=DAE001nAxxxxxxx\n Description=" +
                std::string(63, 'D') + "\n ftHandle=0xbeef\n");
  EXPECT_EQ(ftdi.openedDevice, 0);
  EXPECT_NE(dev.ftHandle, nullptr);
  EXPECT_EQ(ftdi.bitMask, 0xFF);
  EXPECT_EQ(ftdi.bitMode, 4);
  EXPECT_TRUE(ftdi.written.empty()) << "the board is first written by the write pass";

  EXPECT_EQ(dev.devIndex, 7);
  EXPECT_STREQ(dev.getName(), "DenkoviUsbRelais");
  EXPECT_EQ(dev.getNumOutputs(), 8);
  EXPECT_EQ(dev.baudRate, 19200);
  EXPECT_EQ(dev.dataBits, 1);
  EXPECT_EQ(dev.parity, 0);
  EXPECT_EQ(dev.stopBits, 0);
  EXPECT_TRUE(dev.hasChanged());
  EXPECT_FALSE(dev.isValid());
}

TEST(DenkoviRelais, ReportsItsComPortBeforeTheDevices) {
  TestInstallation inst;
  FakeFtdiAdapter ftdi;
  inst.t().ftdi = &ftdi;
  inst.writeIni("[COM-Ports]\ndev3=COM4\n");
  Denkovi_Relais dev(inst.t(), 3);
  EXPECT_EQ(dev.comPort, 3);
  EXPECT_EQ(inst.console.output(),
            "   COM4\nNumber of devices is 0\nFT_Open failed\nFT_SetBitMode failed\n");
}

TEST(DenkoviRelais, RecordTextsWithoutTheirEndAreCutToTheirFields) {
  TestInstallation inst;
  FakeFtdiAdapter ftdi;
  FtDeviceInfo info;
  std::memset(info.SerialNumber, 'S', sizeof info.SerialNumber);
  std::memset(info.Description, 'D', sizeof info.Description);
  ftdi.devices.push_back(info);
  inst.t().ftdi = &ftdi;
  Denkovi_Relais dev(inst.t(), 0);
  EXPECT_THAT(inst.console.output(), HasSubstr(" SerialNumber=" + std::string(15, 'S') + "\n"));
  EXPECT_THAT(inst.console.output(), HasSubstr(" Description=" + std::string(63, 'D') + "\n"));
}

TEST(DenkoviRelais, WithoutADeviceOrAdapterOpenAndBitModeFailAndEveryWriteFails) {
  for (const bool withAdapter : {true, false}) {
    SCOPED_TRACE(withAdapter ? "adapter without devices" : "no adapter");
    TestInstallation inst;
    FakeFtdiAdapter ftdi;
    if (withAdapter) inst.t().ftdi = &ftdi;
    Denkovi_Relais dev(inst.t(), 0);
    EXPECT_EQ(inst.console.take(), kNoDevice);
    EXPECT_EQ(dev.ftHandle, nullptr);

    dev.setOutputBit(1, 1);
    dev.do_WriteAllPortBits();
    dev.do_WriteAllPortBits();
    EXPECT_EQ(inst.console.output(), "DENKOVI: 00000010\nDENKOVI: 00000010\n");
    EXPECT_FALSE(dev.isValid());
    EXPECT_FALSE(dev.hasChanged());
    EXPECT_EQ(Occurrences(inst.log(), kWriteFailed), 2u) << "every failed attempt is logged";
    EXPECT_TRUE(ftdi.written.empty());

    // Disabled output is a good transfer even without a board.
    inst.t().EnableOutput = false;
    dev.do_WriteAllPortBits();
    EXPECT_TRUE(dev.isValid());
    EXPECT_EQ(Occurrences(inst.log(), kWriteFailed), 2u);
  }
}

// One FTDI call of the start-up fails: the report stops at it, and the
// device has a handle unless the open was the call that failed.
struct FailedCall {
  const char* name;
  bool FakeFtdiAdapter::*fails;
  std::string report;
  bool opened;
};

void PrintTo(const FailedCall& c, std::ostream* os) { *os << c.name; }

class DenkoviRelaisFailedCall : public ::testing::TestWithParam<FailedCall> {};

TEST_P(DenkoviRelaisFailedCall, EndsTheReportAndKeepsTheDeviceOpenUnlessItWasTheOpen) {
  RelayBoard board;
  board.ftdi.*GetParam().fails = true;
  Denkovi_Relais dev(board.inst.t(), 0);
  EXPECT_EQ(board.inst.console.output(), GetParam().report);
  EXPECT_EQ(dev.ftHandle != nullptr, GetParam().opened);
}

INSTANTIATE_TEST_SUITE_P(
    DenkoviRelais, DenkoviRelaisFailedCall,
    ::testing::Values(
        // taken as no device: no list, but device 0 is opened
        FailedCall{"Count", &FakeFtdiAdapter::failCount, "   COM0\n", true},
        FailedCall{"List", &FakeFtdiAdapter::failList, "   COM0\nNumber of devices is 1\n", true},
        FailedCall{"Open", &FakeFtdiAdapter::failOpen,
                   kBoardListed + std::string("FT_Open failed\nFT_SetBitMode failed\n"), false},
        FailedCall{"BitMode", &FakeFtdiAdapter::failBitMode,
                   kBoardListed + std::string("FT_SetBitMode failed\n"), true}),
    [](const ::testing::TestParamInfo<FailedCall>& info) { return std::string(info.param.name); });

TEST(DenkoviRelais, AFailedOpenIsNotRetriedAndLeavesTheBoardUnusable) {
  RelayBoard board;
  board.ftdi.failOpen = true;
  Denkovi_Relais dev(board.inst.t(), 0);
  EXPECT_EQ(dev.ftHandle, nullptr);
  board.ftdi.failOpen = false;
  dev.do_WriteAllPortBits();
  dev.do_WriteAllPortBits();
  EXPECT_EQ(board.ftdi.openCalls, 1);
  EXPECT_FALSE(dev.isValid());
  EXPECT_TRUE(board.ftdi.written.empty());
}

// Writes output images in turn to one board: each pass shows its line,
// writes its one byte and counts as a good transfer.
void ExpectEachImageWritten(
    std::initializer_list<std::tuple<uint32_t, const char*, uint8_t>> images) {
  RelayBoard board;
  Denkovi_Relais& dev = board.build();
  std::vector<uint8_t> written;
  for (const auto& [bits, shown, byte] : images) {
    SCOPED_TRACE(shown);
    board.setImage(bits);
    dev.do_WriteAllPortBits();
    written.push_back(byte);
    EXPECT_EQ(board.inst.console.take(), "DENKOVI: " + std::string(shown) + "\n");
    EXPECT_EQ(board.ftdi.written, written);
    EXPECT_TRUE(dev.isValid());
    EXPECT_FALSE(dev.hasChanged());
  }
  EXPECT_THAT(board.inst.log(), Not(HasSubstr(kWriteFailed)));
}

TEST(DenkoviRelais, WritesTheLowByteShownBitSevenFirst) {
  ExpectEachImageWritten(
      {{0x05, "00000101", 0x05}, {0xFF, "11111111", 0xFF}, {0x80, "10000000", 0x80}});
}

TEST(DenkoviRelais, BitsAboveSevenNeverReachTheBoard) {
  ExpectEachImageWritten({{0xFFFFFF00u, "00000000", 0x00}, {0x80000101u, "00000001", 0x01}});
}

TEST(DenkoviRelais, DisabledOutputShowsTheImageWritesNothingAndCountsAsValid) {
  RelayBoard board;
  Denkovi_Relais& dev = board.build();
  board.inst.t().EnableOutput = false;
  board.ftdi.failWrite = true;  // a write, if one were made, would fail

  board.setImage(0x05);
  dev.do_WriteAllPortBits();
  dev.do_WriteAllPortBits();

  EXPECT_EQ(board.inst.console.output(), "DENKOVI: 00000101\nDENKOVI: 00000101\n");
  EXPECT_EQ(board.ftdi.writeCalls, 0);
  EXPECT_TRUE(dev.isValid());
  EXPECT_FALSE(dev.hasChanged());
  EXPECT_THAT(board.inst.log(), Not(HasSubstr(kWriteFailed)));
}

TEST(DenkoviRelais, AFailedWriteIsLoggedAndTheNextGoodWriteIsValidAgain) {
  RelayBoard board;
  Denkovi_Relais& dev = board.build();
  board.setImage(0x03);

  board.ftdi.failWrite = true;
  dev.do_WriteAllPortBits();
  EXPECT_FALSE(dev.isValid());
  EXPECT_FALSE(dev.hasChanged());
  EXPECT_EQ(board.inst.console.take(), "DENKOVI: 00000011\n");
  EXPECT_EQ(Occurrences(board.inst.log(), kWriteFailed), 1u);

  board.ftdi.failWrite = false;
  dev.do_WriteAllPortBits();
  EXPECT_TRUE(dev.isValid());
  EXPECT_EQ(board.ftdi.written, (std::vector<uint8_t>{0x03}));
  EXPECT_EQ(Occurrences(board.inst.log(), kWriteFailed), 1u);
}

TEST(DenkoviRelais, ChannelsSwitchTheBoardAndReportValidWhileOutputIsDisabled) {
  RelayBoard board;
  Tessaro& t = board.inst.t();
  board.inst.writeIni(
      "[Devices]\ndev0=denkovi_relais\n"
      "[Digital_Outputs]\nout0=0,0,-1,aus\nout1=0,2,-1,aus\n");
  LoadConfig(t);
  ASSERT_NE(dynamic_cast<Denkovi_Relais*>(t.devices.get(0)), nullptr);
  ASSERT_NE(t.outputs.get(1), nullptr);
  EXPECT_THAT(SlowXmlText(t), HasSubstr("<outn>1</outn>\n   <valid>0</valid>"));

  int32_t changed = 0;
  SetOutputMode(t, 1, MODE_EIN, changed);
  EXPECT_EQ(board.ftdi.written, (std::vector<uint8_t>{0x04}));

  t.EnableOutput = false;
  board.ftdi.failWrite = true;
  SetOutputMode(t, 0, MODE_EIN, changed);
  WriteAllOutputs(t);
  EXPECT_EQ(board.ftdi.written, (std::vector<uint8_t>{0x04}));
  EXPECT_THAT(board.inst.console.output(), HasSubstr("DENKOVI: 00000101\n"));
  const std::string slow = SlowXmlText(t);
  EXPECT_THAT(slow, HasSubstr("<outn>0</outn>\n   <valid>1</valid>\n   <value>1</value>"));
  EXPECT_THAT(slow, HasSubstr("<outn>1</outn>\n   <valid>1</valid>\n   <value>1</value>"));
}

}  // namespace
