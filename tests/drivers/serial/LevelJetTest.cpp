#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

#include "core/LoadConfig.h"
#include "drivers/serial/DevicePorts.h"
#include "drivers/serial/LevelJet.h"
#include "tests/support/Pty.h"
#include "tests/support/TestInstallation.h"

namespace {

// Tank 0x1234, distance 1000, level 2000, volume 10000, 50 %.
const std::string kFrame("\x34\x12\xE8\x03\xD0\x07\x10\x27\x32\xAA\xBB\xCC", 12);

const char kTankGood[] =
    "   <tank>\n      <valid>1</valid>\n      <id>1234</id>\n      <dist>100.0</dist>\n"
    "      <level>200.0</level>\n      <liter>100000</liter>\n      <percent>50</percent>\n"
    "   </tank>\n";

TEST(LevelJetFrame, TwelveLittleEndianBytesGiveTheValues) {
  LevelJetFrame f;
  ASSERT_TRUE(ParseLevelJetFrame(reinterpret_cast<const uint8_t*>(kFrame.data()), 12, f));
  EXPECT_EQ(f.tankId, 0x1234);
  EXPECT_EQ(f.distance, 1000);
  EXPECT_EQ(f.level, 2000);
  EXPECT_EQ(f.volume, 10000);
  EXPECT_EQ(f.percent, 50);
  const std::string two = kFrame + kFrame;
  for (size_t n : {0u, 11u, 13u, 24u}) {
    EXPECT_FALSE(ParseLevelJetFrame(reinterpret_cast<const uint8_t*>(two.data()), n, f)) << n;
  }
}

// Sensor dev0 on COM1, a pseudo-terminal.
class LevelJetTest : public ::testing::Test {
 protected:
  void SetUp() override { start("[Devices]\ndev0=leveljet\n[COM-Ports]\ndev0=COM1\n"); }
  // May run again with another configuration, from a fresh port table.
  void start(const std::string& ini) {
    ComCloseAll(inst.t());
    inst.writeIni(ini + "[COM-Devices]\nCOM1=" + pty.slavePath() + "\n");
    LoadDevices(inst.t());
    ComInit(inst.t());
    OpenAllDevicePorts(inst.t());
    inst.console.take();
  }
  LevelJet& lj(int i = 0) { return static_cast<LevelJet&>(*inst.t().devices.get(i)); }
  void send(const std::string& bytes) {
    const int before = inst.t().com.ComInQueue(0);
    pty.send(bytes);
    ASSERT_TRUE(WaitUntil(
        [&] { return inst.t().com.ComInQueue(0) == before + static_cast<int>(bytes.size()); }));
  }
  std::string slowXml(int i = 0) {
    std::string file;
    lj(i).do_WriteSlowXml(file);
    return file;
  }

  Pty pty;
  TestInstallation inst;
};

TEST_F(LevelJetTest, AFrameIsShownInTheTankElement) {
  send(kFrame);
  EXPECT_EQ(lj().do_EverySecond(), 1);
  EXPECT_EQ(slowXml(), kTankGood);
  std::string fast;
  lj().do_WriteFastXml(fast);
  EXPECT_EQ(fast, "");
}

TEST_F(LevelJetTest, OnlyAChangedValueIsNewData) {
  // In turn: the frame of a poll, and whether it is new data.
  const std::tuple<const char*, std::string, int32_t> rows[] = {
      {"the first frame", kFrame, 1},
      {"the same frame", kFrame, 0},
      {"only the unused bytes differ", std::string(kFrame).replace(9, 3, "\x01\x02\x03"), 0},
      {"the percentage differs", std::string(kFrame).replace(8, 1, 1, 51), 1},
  };
  for (const auto& [what, frame, isNew] : rows) {
    SCOPED_TRACE(what);
    send(frame);
    EXPECT_EQ(lj().do_EverySecond(), isNew);
  }
}

TEST_F(LevelJetTest, TwoFramesOrAHalfFrameAreFailedPolls) {
  send(kFrame);
  lj().do_EverySecond();
  // In turn: what reaches the port before a poll, and the failed polls by then.
  const std::string other = std::string(kFrame).replace(4, 1, 1, '\0');
  const std::tuple<const char*, std::string, int32_t> rows[] = {
      {"two frames", other + other, 1},
      {"the first 5 bytes of a frame", other.substr(0, 5), 2},
      {"the other 7", other.substr(5), 3},
  };
  for (const auto& [what, bytes, failed] : rows) {
    SCOPED_TRACE(what);
    send(bytes);
    EXPECT_EQ(lj().do_EverySecond(), 0);
    EXPECT_EQ(lj().errorCount, failed);
  }
  EXPECT_EQ(slowXml(), kTankGood);
}

TEST_F(LevelJetTest, ElevenEmptyPollsTimeOutAndTheNextGoodFrameIsNew) {
  send(kFrame);
  lj().do_EverySecond();
  for (int i = 1; i <= 10; ++i) EXPECT_EQ(lj().do_EverySecond(), 0);
  EXPECT_TRUE(lj().dataValid);
  EXPECT_EQ(lj().do_EverySecond(), 0);  // losing validity alone is no new data
  EXPECT_EQ(lj().portState, -1);
  EXPECT_NE(inst.log().find("dev0: TIMEOUT LEVELJET"), std::string::npos);
  EXPECT_NE(slowXml().find("<valid>0</valid>\n      <id>1234</id>"), std::string::npos);

  SuperviseComPorts(inst.t());
  EXPECT_EQ(inst.console.take(),
            "dev0: COM1 erfolgreich geoeffnet !\nCOM-Port re-open (dev0): -1 --> 1\n");
  send(kFrame);
  EXPECT_EQ(lj().do_EverySecond(), 1);  // same values, but valid again
}

TEST_F(LevelJetTest, SmallIdentifiersKeepFourDigits) {
  send(std::string("\xAB\x00", 2) + kFrame.substr(2));
  lj().do_EverySecond();
  EXPECT_NE(slowXml().find("<id>00ab</id>"), std::string::npos);
}

TEST_F(LevelJetTest, WithoutAPortTheElementShowsInvalidZeros) {
  start("[Devices]\ndev0=leveljet\n");
  EXPECT_EQ(lj().do_EverySecond(), 0);
  EXPECT_EQ(slowXml(),
            "   <tank>\n      <valid>0</valid>\n      <id>0000</id>\n      <dist>0.0</dist>\n"
            "      <level>0.0</level>\n      <liter>0</liter>\n      <percent>0</percent>\n"
            "   </tank>\n");
}

// The second device's open fails; its re-open closes the shared entry under
// the first one, and then both read from the one port.
TEST_F(LevelJetTest, TwoDevicesOnOnePortEndUpSharingIt) {
  start("[Devices]\ndev0=leveljet\ndev1=leveljet\n[COM-Ports]\ndev0=COM1\ndev1=COM1\n");
  EXPECT_EQ(lj(0).portState, 1);
  EXPECT_EQ(lj(1).portState, -2);
  SuperviseComPorts(inst.t());
  EXPECT_EQ(inst.console.take(),
            "dev1: COM1 erfolgreich geoeffnet !\nCOM-Port re-open (dev1): -2 --> 1\n");
  EXPECT_EQ(lj(0).portState, 1);

  send(kFrame);
  EXPECT_EQ(lj(0).do_EverySecond(), 1);
  EXPECT_EQ(lj(1).do_EverySecond(), 0);  // the first one took the frame
  send(kFrame);
  EXPECT_EQ(lj(1).do_EverySecond(), 1);
}

TEST_F(LevelJetTest, AVanishedDeviceNeitherCrashesNorStalls) {
  send(kFrame);
  lj().do_EverySecond();
  pty.closeMaster();
  // Every call returns with the port given up; one that stalled would hold
  // the main loop, and shows here as the test's time-out.
  for (int i = 0; i < 11; ++i) EXPECT_EQ(lj().do_EverySecond(), 0);
  EXPECT_EQ(lj().portState, -1);
  SuperviseComPorts(inst.t());
  EXPECT_EQ(lj().portState, -2);
  for (int i = 0; i < 5; ++i) lj().do_EverySecond();
  EXPECT_NE(inst.console.output().find("COM-Port re-open (dev0): -1 --> -2\n"), std::string::npos);
}

}  // namespace
