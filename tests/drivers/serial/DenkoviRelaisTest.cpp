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
#include "tools/support/Bytes.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kWriteFailed[] = "DENKOVI: Datenausgabe fehlgeschlagen";
constexpr char kNoDevice[] =
    "   COM0\nNumber of devices is 0\nFT_Open failed\nFT_SetBitMode failed\n";
// What the relay board's start-up reports before it opens the board.
constexpr char kBoardListed[] =
    "   COM0\nNumber of devices is 1\n"
    "Dev 0:\n Flags=0x0\n Type=0x0\n ID=0x4036001\n LocId=0x10005\n"
    " SerialNumber=DAE001nA\n Description=FT245R USB FIFO\n ftHandle=0x0\n";

// An installation whose FTDI library is a fake, with no device in it until
// a test adds the relay board or others.
class DenkoviRelais : public ::testing::Test {
 protected:
  DenkoviRelais() { inst.t().ftdi = &ftdi; }
  void addBoard() {
    ftdi.devices.push_back(
        FakeFtdiAdapter::Device(0x04036001, 0x10005, "DAE001nA", "FT245R USB FIFO"));
  }
  // Device 0 on the relay board, its start-up report taken.
  Denkovi_Relais& build() {
    addBoard();
    device = std::make_unique<Denkovi_Relais>(inst.t(), 0);
    inst.console.take();
    return *device;
  }
  void setImage(uint32_t bits) {
    for (int n = 0; n < 32; ++n) device->setOutputBit(n, (bits >> n) & 1u);
  }
  // Writes output images in turn to the board: each pass shows its line,
  // writes its one byte and counts as a good transfer.
  void expectEachImageWritten(
      std::initializer_list<std::tuple<uint32_t, const char*, uint8_t>> images) {
    Denkovi_Relais& dev = build();
    std::vector<uint8_t> written;
    for (const auto& [bits, shown, byte] : images) {
      SCOPED_TRACE(shown);
      setImage(bits);
      dev.do_WriteAllPortBits();
      written.push_back(byte);
      EXPECT_EQ(inst.console.take(), "DENKOVI: " + std::string(shown) + "\n");
      EXPECT_EQ(ftdi.written, written);
      EXPECT_TRUE(dev.isValid());
      EXPECT_FALSE(dev.hasChanged());
    }
    EXPECT_THAT(inst.log(), Not(HasSubstr(kWriteFailed)));
  }

  TestInstallation inst;
  FakeFtdiAdapter ftdi;
  std::unique_ptr<Denkovi_Relais> device;
};

TEST_F(DenkoviRelais, ListsEveryDeviceAndOpensDeviceZeroForBitBangOnAllPins) {
  // The relay board is the second device; device 0 is opened all the same.
  ftdi.devices.push_back(
      FakeFtdiAdapter::Device(0x04036010, 0x20003, "FT1A2B3C", "Dual RS232-HS", 0x2, 0x6));
  ftdi.devices.push_back(
      FakeFtdiAdapter::Device(0x04036001, 0x10005, "DAE001nAxxxxxxx", std::string(63, 'D')));
  ftdi.devices[1].ftHandle = 0xBEEF;

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

TEST_F(DenkoviRelais, ReportsItsComPortBeforeTheDevices) {
  inst.writeIni("[COM-Ports]\ndev3=COM4\n");
  Denkovi_Relais dev(inst.t(), 3);
  EXPECT_EQ(dev.comPort, 3);
  EXPECT_EQ(inst.console.output(),
            "   COM4\nNumber of devices is 0\nFT_Open failed\nFT_SetBitMode failed\n");
}

TEST_F(DenkoviRelais, RecordTextsWithoutTheirEndAreCutToTheirFields) {
  FtDeviceInfo info;
  std::memset(info.SerialNumber, 'S', sizeof info.SerialNumber);
  std::memset(info.Description, 'D', sizeof info.Description);
  ftdi.devices.push_back(info);
  Denkovi_Relais dev(inst.t(), 0);
  EXPECT_THAT(inst.console.output(), HasSubstr(" SerialNumber=" + std::string(15, 'S') + "\n"));
  EXPECT_THAT(inst.console.output(), HasSubstr(" Description=" + std::string(63, 'D') + "\n"));
}

// With an adapter that lists no device, or with no adapter at all.
class DenkoviRelaisWithoutBoard : public DenkoviRelais,
                                  public ::testing::WithParamInterface<bool> {};

TEST_P(DenkoviRelaisWithoutBoard, OpenAndBitModeFailAndEveryWriteFails) {
  if (!GetParam()) inst.t().ftdi = nullptr;
  Denkovi_Relais dev(inst.t(), 0);
  EXPECT_EQ(inst.console.take(), kNoDevice);
  EXPECT_EQ(dev.ftHandle, nullptr);

  dev.setOutputBit(1, 1);
  dev.do_WriteAllPortBits();
  dev.do_WriteAllPortBits();
  EXPECT_EQ(inst.console.output(), "DENKOVI: 00000010\nDENKOVI: 00000010\n");
  EXPECT_FALSE(dev.isValid());
  EXPECT_FALSE(dev.hasChanged());
  EXPECT_EQ(CountOf(inst.log(), kWriteFailed), 2u) << "every failed attempt is logged";
  EXPECT_TRUE(ftdi.written.empty());

  // Disabled output is a good transfer even without a board.
  inst.t().EnableOutput = false;
  dev.do_WriteAllPortBits();
  EXPECT_TRUE(dev.isValid());
  EXPECT_EQ(CountOf(inst.log(), kWriteFailed), 2u);
}

INSTANTIATE_TEST_SUITE_P(DenkoviRelais, DenkoviRelaisWithoutBoard, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "AdapterWithoutDevices" : "NoAdapter";
                         });

// One FTDI call of the start-up fails: the report stops at it, and the
// device has a handle unless the open was the call that failed.
struct FailedCall {
  const char* name;
  bool FakeFtdiAdapter::*fails;
  std::string report;
  bool opened;
};

void PrintTo(const FailedCall& c, std::ostream* os) { *os << c.name; }

class DenkoviRelaisFailedCall : public DenkoviRelais,
                                public ::testing::WithParamInterface<FailedCall> {};

TEST_P(DenkoviRelaisFailedCall, EndsTheReportAndKeepsTheDeviceOpenUnlessItWasTheOpen) {
  addBoard();
  ftdi.*GetParam().fails = true;
  Denkovi_Relais dev(inst.t(), 0);
  EXPECT_EQ(inst.console.output(), GetParam().report);
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

TEST_F(DenkoviRelais, AFailedOpenIsNotRetriedAndLeavesTheBoardUnusable) {
  addBoard();
  ftdi.failOpen = true;
  Denkovi_Relais dev(inst.t(), 0);
  EXPECT_EQ(dev.ftHandle, nullptr);
  ftdi.failOpen = false;
  dev.do_WriteAllPortBits();
  dev.do_WriteAllPortBits();
  EXPECT_EQ(ftdi.openCalls, 1);
  EXPECT_FALSE(dev.isValid());
  EXPECT_TRUE(ftdi.written.empty());
}

TEST_F(DenkoviRelais, WritesTheLowByteShownBitSevenFirst) {
  expectEachImageWritten(
      {{0x05, "00000101", 0x05}, {0xFF, "11111111", 0xFF}, {0x80, "10000000", 0x80}});
}

TEST_F(DenkoviRelais, BitsAboveSevenNeverReachTheBoard) {
  expectEachImageWritten({{0xFFFFFF00u, "00000000", 0x00}, {0x80000101u, "00000001", 0x01}});
}

TEST_F(DenkoviRelais, DisabledOutputShowsTheImageWritesNothingAndCountsAsValid) {
  Denkovi_Relais& dev = build();
  inst.t().EnableOutput = false;
  ftdi.failWrite = true;  // a write, if one were made, would fail

  setImage(0x05);
  dev.do_WriteAllPortBits();
  dev.do_WriteAllPortBits();

  EXPECT_EQ(inst.console.output(), "DENKOVI: 00000101\nDENKOVI: 00000101\n");
  EXPECT_EQ(ftdi.writeCalls, 0);
  EXPECT_TRUE(dev.isValid());
  EXPECT_FALSE(dev.hasChanged());
  EXPECT_THAT(inst.log(), Not(HasSubstr(kWriteFailed)));
}

TEST_F(DenkoviRelais, AFailedWriteIsLoggedAndTheNextGoodWriteIsValidAgain) {
  Denkovi_Relais& dev = build();
  setImage(0x03);

  ftdi.failWrite = true;
  dev.do_WriteAllPortBits();
  EXPECT_FALSE(dev.isValid());
  EXPECT_FALSE(dev.hasChanged());
  EXPECT_EQ(inst.console.take(), "DENKOVI: 00000011\n");
  EXPECT_EQ(CountOf(inst.log(), kWriteFailed), 1u);

  ftdi.failWrite = false;
  dev.do_WriteAllPortBits();
  EXPECT_TRUE(dev.isValid());
  EXPECT_EQ(ftdi.written, (std::vector<uint8_t>{0x03}));
  EXPECT_EQ(CountOf(inst.log(), kWriteFailed), 1u);
}

TEST_F(DenkoviRelais, ChannelsSwitchTheBoardAndReportValidWhileOutputIsDisabled) {
  addBoard();
  Tessaro& t = inst.t();
  inst.writeIni(
      "[Devices]\ndev0=denkovi_relais\n"
      "[Digital_Outputs]\nout0=0,0,-1,aus\nout1=0,2,-1,aus\n");
  LoadConfig(t);
  ASSERT_NE(dynamic_cast<Denkovi_Relais*>(t.devices.get(0)), nullptr);
  ASSERT_NE(t.outputs.get(1), nullptr);
  EXPECT_THAT(SlowXmlText(t), HasSubstr("<outn>1</outn>\n   <valid>0</valid>"));

  int32_t changed = 0;
  SetOutputMode(t, 1, MODE_EIN, changed);
  EXPECT_EQ(ftdi.written, (std::vector<uint8_t>{0x04}));

  t.EnableOutput = false;
  ftdi.failWrite = true;
  SetOutputMode(t, 0, MODE_EIN, changed);
  WriteAllOutputs(t);
  EXPECT_EQ(ftdi.written, (std::vector<uint8_t>{0x04}));
  EXPECT_THAT(inst.console.output(), HasSubstr("DENKOVI: 00000101\n"));
  const std::string slow = SlowXmlText(t);
  EXPECT_THAT(slow, HasSubstr("<outn>0</outn>\n   <valid>1</valid>\n   <value>1</value>"));
  EXPECT_THAT(slow, HasSubstr("<outn>1</outn>\n   <valid>1</valid>\n   <value>1</value>"));
}

}  // namespace
