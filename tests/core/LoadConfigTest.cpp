#include <gtest/gtest.h>

#include "core/LoadConfig.h"
#include "devices/DummyIO.h"
#include "tests/support/TestInstallation.h"

namespace {

TEST(LoadConfig, ReportsEachDeviceKeyAndLeavesUnknownTypesEmpty) {
  TestInstallation inst;
  inst.writeIni(
      "[Devices]\n"
      "dev0=dummy_io\n"
      "dev2=DUMMY_IO\n"
      "dev3=\n"
      "dev15=dummy_io\n"
      "dev16=dummy_io\n");
  LoadDevices(inst.t());
  EXPECT_EQ(inst.console.output(),
            "\nDEVICES:\n"
            "dev0: dummy_io\n"
            "dev2: DUMMY_IO\n"
            "   unbekanntes Geraet (DUMMY_IO)\r\n"
            "dev15: dummy_io\n");
  EXPECT_NE(inst.t().devices.get(0), nullptr);
  EXPECT_EQ(inst.t().devices.get(1), nullptr);
  EXPECT_EQ(inst.t().devices.get(2), nullptr);
  EXPECT_EQ(inst.t().devices.get(3), nullptr);
  ASSERT_NE(inst.t().devices.get(15), nullptr);
  EXPECT_EQ(inst.t().devices.get(15)->devIndex, 15);
  EXPECT_STREQ(inst.t().devices.get(15)->getName(), "Dummy IO");
}

TEST(LoadConfig, MissingFileOrSectionGivesAnEmptyTableQuietly) {
  TestInstallation inst;
  LoadDevices(inst.t());
  inst.writeIni("[Other]\ndev0=dummy_io\n");
  LoadDevices(inst.t());
  EXPECT_EQ(inst.console.output(), "\nDEVICES:\n\nDEVICES:\n");
  for (int i = 0; i < DeviceTable::kSize; ++i) EXPECT_EQ(inst.t().devices.get(i), nullptr);
}

TEST(DeviceTable, OutOfRangeSlotsAreEmpty) {
  TestInstallation inst;
  inst.t().devices.put(0, std::make_unique<DummyIO>(inst.t(), 0));
  EXPECT_EQ(inst.t().devices.get(-1), nullptr);
  EXPECT_EQ(inst.t().devices.get(16), nullptr);
}

TEST(TessaroDev, OutputBitMarksAChangeOnlyWhenItReallyChanges) {
  TestInstallation inst;
  DummyIO dev(inst.t(), 0);
  EXPECT_TRUE(dev.hasChanged()) << "a new device reports a change to its first write pass";
  EXPECT_FALSE(dev.isValid());
  dev.do_WriteAllPortBits();
  dev.setOutputBit(5, 1);
  EXPECT_TRUE(dev.hasChanged());
  dev.do_WriteAllPortBits();
  dev.setOutputBit(5, 7);
  EXPECT_FALSE(dev.hasChanged());
  EXPECT_EQ(dev.getOutputBit(5), 1);
  dev.setOutputBit(5, 0);
  EXPECT_TRUE(dev.hasChanged());
  EXPECT_EQ(dev.getOutputBit(5), 0);
}

TEST(TessaroDev, BaseWriteOnlyClearsTheChangeFlag) {
  TestInstallation inst;
  struct NoOutputs : TessaroDev {
    using TessaroDev::TessaroDev;
  } dev(inst.t());
  EXPECT_TRUE(dev.hasChanged());
  dev.do_WriteAllPortBits();
  EXPECT_FALSE(dev.hasChanged());
  EXPECT_FALSE(dev.isValid());
}

TEST(DummyIO, PrintsItsImageOutput31First) {
  TestInstallation inst;
  DummyIO dev(inst.t(), 4);
  dev.setOutputBit(0, 1);
  dev.do_WriteAllPortBits();
  dev.setOutputBit(31, 1);
  dev.do_WriteAllPortBits();
  EXPECT_EQ(inst.console.output(), "DUMMYIO: " + std::string(31, '0') + "1\n" + "DUMMYIO: 1" +
                                       std::string(30, '0') + "1\n");
  EXPECT_TRUE(dev.isValid());
  EXPECT_FALSE(dev.hasChanged());
}

TEST(DummyIO, PrintsAtEveryWriteWhetherOrNotOutputIsEnabled) {
  TestInstallation inst;
  DummyIO dev(inst.t(), 4);
  inst.t().EnableOutput = false;
  dev.do_WriteAllPortBits();
  dev.do_WriteAllPortBits();
  EXPECT_EQ(inst.console.output(),
            "DUMMYIO: " + std::string(32, '0') + "\n" + "DUMMYIO: " + std::string(32, '0') + "\n");
  EXPECT_TRUE(dev.isValid());
}

}  // namespace
