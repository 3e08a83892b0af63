#include <gtest/gtest.h>

#include "core/MainLoop.h"
#include "core/LoadConfig.h"
#include "drivers/serial/DevicePorts.h"
#include "tests/support/Pty.h"
#include "tests/support/TestInstallation.h"

namespace {

TEST(ParseComPort, TakesComAndANumberReadLeniently) {
  EXPECT_EQ(ParseComPort("COM1"), 0);
  EXPECT_EQ(ParseComPort("COM12"), 11);
  EXPECT_EQ(ParseComPort("COM3x"), 2);
  EXPECT_EQ(ParseComPort("COM 3"), 2);
  EXPECT_EQ(ParseComPort("COM256"), 255);
}

TEST(ParseComPort, AnythingElseMeansNoPort) {
  for (const char* text : {"com3", "COM", "COM0", "COMX", "", " COM3", "Com3", "CO"}) {
    EXPECT_EQ(ParseComPort(text), -1) << text;
  }
  EXPECT_EQ(ParseComPort(nullptr), -1);
  EXPECT_EQ(ParseComPort("COM-2147483648"), INT32_MIN);  // no overflow below the range
}

// A LevelJet stands for any device with a port that is not an HB628.
class DevicePortsTest : public ::testing::Test {
 protected:
  // Device links live in the installation's directory.
  DevicePortsTest() : inst(At(2026, 12, 9, 12, 5, 30), Files::Disk) {}
  TessaroDev& dev(int i) { return *inst.t().devices.get(i); }
  std::string gone() const { return inst.dir() + "/ttyGone"; }
  void nextMinute() {
    inst.clock.advance(60);
    loop.pass();
  }

  Pty pty;
  TestInstallation inst;
  MainLoop loop{inst.t(), 0, 0};
};

TEST_F(DevicePortsTest, ADeviceWithoutAKeyHasNoPortAndIsNeverOpened) {
  inst.writeIni("[Devices]\ndev0=leveljet\n[COM-Ports]\ndev1=COM1\n");
  ASSERT_EQ(loop.startUp(), 0);
  EXPECT_NE(inst.console.output().find("dev0: leveljet\n   COM0\n"), std::string::npos);
  EXPECT_EQ(dev(0).comPort, -1);
  nextMinute();
  nextMinute();
  loop.shutDown();
  EXPECT_EQ(dev(0).portState, 2);
  EXPECT_EQ(inst.console.output().find("COM1"), std::string::npos);
  EXPECT_EQ(inst.log().find("COM-Port"), std::string::npos);
}

TEST_F(DevicePortsTest, TheValueIsReadIntoA32ByteBuffer) {
  // 32 characters: the buffer keeps "COM" and 28 zeros, the 1 is cut.
  inst.writeIni("[Devices]\ndev3=leveljet\ndev4=leveljet\n[COM-Ports]\ndev3=COM" +
                std::string(28, '0') + "1\ndev4=COM" + std::string(27, '0') + "1\n");
  LoadDevices(inst.t());
  EXPECT_EQ(dev(3).comPort, -1);
  EXPECT_EQ(dev(4).comPort, 0);
  EXPECT_NE(inst.console.output().find("dev3: leveljet\n   COM0\ndev4: leveljet\n   COM1\n"),
            std::string::npos);
}

TEST_F(DevicePortsTest, ARelativeDevicePathIsTakenFromTheWorkingDirectory) {
  Link(pty.slavePath(), inst.dir() + "/sensor.tty");
  inst.writeIni("[Devices]\ndev1=leveljet\n[COM-Ports]\ndev1=COM9\n[COM-Devices]\nCOM9=./sensor.tty\n");
  ASSERT_EQ(loop.startUp(), 0);
  EXPECT_EQ(dev(1).portState, 1);
  EXPECT_NE(inst.console.output().find("dev1: COM9 erfolgreich geoeffnet !\n"), std::string::npos);
  loop.shutDown();
}

TEST_F(DevicePortsTest, AMissingPortIsRetriedEveryMinuteUntilItAppears) {
  inst.writeIni("[Devices]\ndev2=leveljet\n[COM-Ports]\ndev2=COM7\n[COM-Devices]\nCOM7=" + gone() +
                "\n");
  ASSERT_EQ(loop.startUp(), 0);
  EXPECT_NE(inst.console.take().find("dev2: COM7 kann nicht geoeffnet werden !\n"),
            std::string::npos);
  EXPECT_EQ(inst.log().find("COM-Port"), std::string::npos);  // nothing logged at start

  loop.pass();  // the first pass runs a minute tick: retried at once
  EXPECT_EQ(inst.console.take(),
            "dev2: COM7 kann nicht geoeffnet werden !\nCOM-Port re-open (dev2): -2 --> -2\n");
  nextMinute();
  EXPECT_EQ(inst.console.take(),
            "dev2: COM7 kann nicht geoeffnet werden !\nCOM-Port re-open (dev2): -2 --> -2\n");
  EXPECT_NE(inst.log().find("12:05:30 COM-Port re-open (dev2): -2 --> -2"), std::string::npos);
  EXPECT_NE(inst.log().find("12:06:30 COM-Port re-open (dev2): -2 --> -2"), std::string::npos);

  Link(pty.slavePath(), gone());
  nextMinute();
  EXPECT_EQ(inst.console.take(),
            "dev2: COM7 erfolgreich geoeffnet !\nCOM-Port re-open (dev2): -2 --> 1\n");
  EXPECT_NE(inst.log().find("12:07:30 COM-Port re-open (dev2): -2 --> 1"), std::string::npos);
  EXPECT_EQ(dev(2).errorCount, 0);

  // A working port is left alone.
  nextMinute();
  EXPECT_EQ(inst.console.output().find("COM"), std::string::npos);
  EXPECT_EQ(dev(2).portState, 1);
}

TEST_F(DevicePortsTest, ClosingSetsStateZeroWhateverTheStateWas) {
  inst.writeIni(
      "[Devices]\ndev0=leveljet\ndev1=leveljet\ndev2=leveljet\n"
      "[COM-Ports]\ndev0=COM1\ndev1=COM2\n"
      "[COM-Devices]\nCOM1=" +
      pty.slavePath() + "\nCOM2=" + gone() + "\n");
  LoadDevices(inst.t());
  ComInit(inst.t());
  OpenAllDevicePorts(inst.t());
  EXPECT_EQ(dev(0).portState, 1);
  EXPECT_EQ(dev(1).portState, -2);
  CloseAllDevicePorts(inst.t());
  EXPECT_EQ(dev(0).portState, 0);
  EXPECT_EQ(dev(1).portState, 0);
  EXPECT_EQ(dev(2).portState, 2);          // no port
  EXPECT_EQ(inst.t().com.ComClose(0), 0);  // already closed

  EXPECT_EQ(OpenDevicePort(inst.t(), 5), -1);
  EXPECT_EQ(CloseDevicePort(inst.t(), 16), -1);
}

TEST_F(DevicePortsTest, AnHB628WithoutAPortIsReportedAtEveryRestart) {
  inst.writeIni(
      "[Devices]\ndev0=hb628\ndev1=hb628\n[COM-Ports]\ndev0=COM1\n"
      "[COM-Devices]\nCOM1=" +
      pty.slavePath() + "\n");
  LoadDevices(inst.t());
  ComInit(inst.t());
  OpenAllDevicePorts(inst.t());
  inst.console.take();

  SuperviseComPorts(inst.t());  // dev0 works: no restart
  EXPECT_EQ(inst.console.take(), "");
  dev(0).portState = -1;
  SuperviseComPorts(inst.t());
  EXPECT_EQ(inst.console.take(),
            "dev0: COM1 erfolgreich geoeffnet !\n"
            "HB628 Treiber Restart (dev0): -1 --> 1\n"
            "HB628 Treiber Restart (dev1): 2 --> 2\n");
  EXPECT_NE(inst.log().find("HB628 Treiber Restart (dev1): 2 --> 2"), std::string::npos);
}

}  // namespace
