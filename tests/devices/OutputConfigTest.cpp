#include <gtest/gtest.h>

#include "core/LoadConfig.h"
#include "devices/OutputTable.h"
#include "tests/support/TestInstallation.h"

namespace {

// A device of any number of outputs, for the loader's range checks.
class FakeDevice final : public TessaroDev {
 public:
  FakeDevice(Tessaro& t, int32_t index, int32_t outputs) : TessaroDev(t) {
    devIndex = index;
    numOutputs = outputs;
  }
};

constexpr const char* kHeader = "\nDIGTAL OUTPUTS:\n";

class OutputConfig : public ::testing::Test {
 protected:
  // Loads devices dev0 and dev1 (dummy_io, 32 outputs each) and the given
  // Digital_Outputs lines; returns the channel half of the console report.
  std::string load(const std::string& outputLines) {
    inst.writeIni("[Devices]\ndev0=dummy_io\ndev1=dummy_io\n[Digital_Outputs]\n" + outputLines);
    LoadConfig(inst.t());
    const std::string report = inst.console.take();
    const size_t at = report.find(kHeader);
    return at == std::string::npos ? report : report.substr(at);
  }
  // The report for one line "out0=value".
  std::string loadOne(const std::string& value) { return load("out0=" + value + "\n"); }
  const DigitalOutput* channel(int32_t ch) { return inst.t().outputs.get(ch); }

  TestInstallation inst;
};

TEST_F(OutputConfig, BuildsChannelsFromKeysZeroToThirtyOne) {
  EXPECT_EQ(load("out5=1,3,-1,ein,Pump\nout31=0,0,-1,aus\nout32=0,1,-1,aus\n"),
            std::string(kHeader) + "out5: 1,3,-1,ein,Pump\nout31: 0,0,-1,aus\n");
  const DigitalOutput* c = channel(5);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->outIndex, 5);
  EXPECT_EQ(c->device, inst.t().devices.get(1));
  EXPECT_EQ(c->devOutput, 3);
  EXPECT_EQ(c->slaveOut, -1);
  EXPECT_EQ(c->mode, MODE_EIN);
  EXPECT_EQ(c->name, "Pump");
  EXPECT_EQ(c->controlFile, "");
  EXPECT_EQ(c->nextSwitch, -1);
  EXPECT_EQ(c->timerMinutes, 0);
  EXPECT_EQ(c->timerOutput, 1);
  EXPECT_EQ(c->info, " ");
  EXPECT_NE(channel(31), nullptr);
  for (int32_t ch = 0; ch < OutputTable::kSize; ++ch) {
    if (ch != 5 && ch != 31) {
      EXPECT_EQ(channel(ch), nullptr) << ch;
    }
  }
}

TEST_F(OutputConfig, MissingSectionGivesTheHeaderOnlyAndLoadingAppliesNoMode) {
  EXPECT_EQ(load(""), kHeader);
  load("out0=0,0,-1,ein\n");
  EXPECT_EQ(inst.t().devices.get(0)->outputBits, 0u);
  inst.writeIni("");
  LoadOutputs(inst.t());
  EXPECT_EQ(inst.console.take(), kHeader);
}

TEST_F(OutputConfig, EmptyFieldsDisappearAndBlanksBelongToTheField) {
  EXPECT_EQ(loadOne("1,,3,-1,ein"), std::string(kHeader) + "out0: 1,,3,-1,ein\n");
  ASSERT_NE(channel(0), nullptr);
  EXPECT_EQ(channel(0)->device, inst.t().devices.get(1));
  EXPECT_EQ(channel(0)->devOutput, 3);
  EXPECT_EQ(channel(0)->slaveOut, -1);
  EXPECT_EQ(channel(0)->mode, MODE_EIN);

  loadOne(",,0,,,7,,,-1,,aus,, Heizung ,");
  ASSERT_NE(channel(0), nullptr);
  EXPECT_EQ(channel(0)->devOutput, 7);
  EXPECT_EQ(channel(0)->name, " Heizung ");

  EXPECT_EQ(loadOne(",,,"), std::string(kHeader) + "out0: ,,,\n");
  EXPECT_EQ(channel(0), nullptr);
}

TEST_F(OutputConfig, NameAndControlFileAreOptionalCutTo31AndFurtherFieldsIgnored) {
  load("out0=0,1,-1,uhr,Heizung,heizung.txt,extra,more\nout1=1,7,-1,aus\nout2=0,2,-1,aus," +
       std::string(40, 'n') + "," + std::string(45, 'f') + "\n");
  ASSERT_NE(channel(0), nullptr);
  EXPECT_EQ(channel(0)->name, "Heizung");
  EXPECT_EQ(channel(0)->controlFile, "heizung.txt");
  EXPECT_EQ(channel(0)->mode, MODE_UHR);
  ASSERT_NE(channel(1), nullptr);
  EXPECT_EQ(channel(1)->name, "dev1_ch7");
  EXPECT_EQ(channel(1)->controlFile, "");
  ASSERT_NE(channel(2), nullptr);
  EXPECT_EQ(channel(2)->name, std::string(31, 'n'));
  EXPECT_EQ(channel(2)->controlFile, std::string(31, 'f'));
}

TEST_F(OutputConfig, DeviceIndexMustNameADefinedDevice) {
  EXPECT_EQ(load("out0=16,1,-1,aus\nout1=-1,1,-1,aus\nout2=2,1,-1,aus\n"
                 "out3=99999999999,1,-1,aus\nout4=abc,2,-1,aus\n"),
            std::string(kHeader) +
                "out0: 16,1,-1,aus\n"
                "   Geraet dev16 nicht zugelassen (dev0 ... dev15)\n"
                "out1: -1,1,-1,aus\n"
                "   Geraet dev-1 nicht zugelassen (dev0 ... dev15)\n"
                "out2: 2,1,-1,aus\n"
                "   Geraet dev2 nicht definiert\n"
                "out3: 99999999999,1,-1,aus\n"
                "   Geraet dev2147483647 nicht zugelassen (dev0 ... dev15)\n"
                "out4: abc,2,-1,aus\n");
  for (const int32_t ch : {0, 1, 2, 3}) EXPECT_EQ(channel(ch), nullptr) << ch;
  ASSERT_NE(channel(4), nullptr) << "a first field without a number selects device 0";
  EXPECT_EQ(channel(4)->device, inst.t().devices.get(0));
}

TEST_F(OutputConfig, OutputNumberMustBeGivenAndWithinZeroToThirtyOne) {
  EXPECT_EQ(load("out0=0\nout1=0,-1,-1,aus\nout2=0,32,-1,aus\nout3=0,31,-1,aus\n"),
            std::string(kHeader) +
                "out0: 0\n"
                "   Ausgangsnummer nicht angegeben\n"
                "out1: 0,-1,-1,aus\n"
                "   Ausgangsnummer -1 nicht zugelassen (0 ... 31)\n"
                "out2: 0,32,-1,aus\n"
                "   Ausgangsnummer 32 nicht zugelassen (0 ... 31)\n"
                "out3: 0,31,-1,aus\n");
  EXPECT_EQ(channel(0), nullptr);
  EXPECT_EQ(channel(1), nullptr);
  EXPECT_EQ(channel(2), nullptr);
  EXPECT_NE(channel(3), nullptr);
}

TEST_F(OutputConfig, OutputNumberMustExistOnTheDevice) {
  inst.t().devices.put(3, std::make_unique<FakeDevice>(inst.t(), 3, 8));
  inst.t().devices.put(4, std::make_unique<FakeDevice>(inst.t(), 4, 0));
  inst.writeIni(
      "[Digital_Outputs]\nout0=3,8,-1,aus\nout1=3,7,-1,aus\nout2=4,0,-1,aus\nout3=4,40,-1,aus\n");
  LoadOutputs(inst.t());
  EXPECT_EQ(inst.console.take(), std::string(kHeader) +
                                     "out0: 3,8,-1,aus\n"
                                     "   dev3 besitzt nur 8 Ausgaenge (0 ... 7)\n"
                                     "out1: 3,7,-1,aus\n"
                                     "out2: 4,0,-1,aus\n"
                                     "   dev4 besitzt keine digitalen Ausgaenge\n"
                                     "out3: 4,40,-1,aus\n"
                                     "   Ausgangsnummer 40 nicht zugelassen (0 ... 31)\n");
  EXPECT_EQ(channel(0), nullptr);
  EXPECT_NE(channel(1), nullptr);
  EXPECT_EQ(channel(2), nullptr);
  EXPECT_EQ(channel(3), nullptr);
}

TEST_F(OutputConfig, DefaultModeMustBeOneOfTheFourNamesExactly) {
  EXPECT_EQ(load("out0=1,1,-1, ein\nout1=1,1,-1\nout2=1,1\nout3=1,1,-1,Ein\n"
                 "out4=0,4,-1,aus\nout5=0,5,-1,ein\nout6=0,6,-1,uhr\nout7=0,7,-1,slave\n"),
            std::string(kHeader) +
                "out0: 1,1,-1, ein\n"
                "   dev1: unbekannte Default-Betriebsart ( ein)\n"
                "out1: 1,1,-1\n"
                "   dev1: unbekannte Default-Betriebsart ((null))\n"
                "out2: 1,1\n"
                "   dev1: unbekannte Default-Betriebsart ((null))\n"
                "out3: 1,1,-1,Ein\n"
                "   dev1: unbekannte Default-Betriebsart (Ein)\n"
                "out4: 0,4,-1,aus\n"
                "out5: 0,5,-1,ein\n"
                "out6: 0,6,-1,uhr\n"
                "out7: 0,7,-1,slave\n");
  for (const int32_t ch : {0, 1, 2, 3}) EXPECT_EQ(channel(ch), nullptr) << ch;
  for (const int32_t ch : {4, 5, 6, 7}) {
    ASSERT_NE(channel(ch), nullptr) << ch;
    EXPECT_EQ(channel(ch)->mode, ch - 4);
  }
}

TEST_F(OutputConfig, SlaveOutsideTheTableOrOnItselfIsDroppedWithANote) {
  EXPECT_EQ(load("out0=0,0,32,aus\nout1=0,1,1,slave\nout2=0,2,-7,aus\nout3=0,3,31,aus\n"
                 "out4=0,4,0,aus\nout5=0,5,9,ein,,x\nout6=0,6,40,an\n"),
            std::string(kHeader) +
                "out0: 0,0,32,aus\n"
                "   out0: Slave out32 nicht zugelassen (kein Slave)\n"
                "out1: 0,1,1,slave\n"
                "   out1: Slave out1 nicht zugelassen (kein Slave)\n"
                "out2: 0,2,-7,aus\n"
                "out3: 0,3,31,aus\n"
                "out4: 0,4,0,aus\n"
                "out5: 0,5,9,ein,,x\n"
                "out6: 0,6,40,an\n"
                "   dev0: unbekannte Default-Betriebsart (an)\n");
  ASSERT_NE(channel(0), nullptr) << "the channel itself is built";
  EXPECT_EQ(channel(0)->slaveOut, -1);
  ASSERT_NE(channel(1), nullptr);
  EXPECT_EQ(channel(1)->slaveOut, -1);
  EXPECT_LT(channel(2)->slaveOut, 0);
  EXPECT_EQ(channel(3)->slaveOut, 31);
  EXPECT_EQ(channel(4)->slaveOut, 0);
  EXPECT_EQ(channel(5)->slaveOut, 9) << "a link to an empty slot is kept and drives nothing";
  EXPECT_EQ(channel(5)->name, "x");
}

}  // namespace
