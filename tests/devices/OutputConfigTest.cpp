#include <gtest/gtest.h>

#include "core/LoadConfig.h"
#include "devices/OutputTable.h"
#include "tests/support/FakeDevice.h"
#include "tests/support/TestInstallation.h"

namespace {

constexpr const char* kHeader = "\nDIGTAL OUTPUTS:\n";

// One line "outN=value" of Digital_Outputs, N counting from 0: what the
// loader says below its echo ("" for nothing), and whether it builds the
// channel.
struct Line {
  const char* value;
  const char* complaint;
  bool built;
};

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
  // Loads lines as out0, out1 ... (over the devices already there, unless
  // withDevices) and expects each echoed with its complaint and built or not;
  // a fatal failure when one is not built as expected.
  void expectLoaded(std::initializer_list<Line> lines, bool withDevices = true) {
    std::string ini, report = kHeader;
    int32_t ch = 0;
    for (const Line& line : lines) {
      const std::string key = "out" + std::to_string(ch++);
      ini += key + "=" + line.value + "\n";
      report += key + ": " + line.value + "\n";
      if (*line.complaint != '\0') report += std::string("   ") + line.complaint + "\n";
    }
    if (withDevices) {
      EXPECT_EQ(load(ini), report);
    } else {
      inst.writeIni("[Digital_Outputs]\n" + ini);
      LoadOutputs(inst.t());
      EXPECT_EQ(inst.console.take(), report);
    }
    ch = 0;
    for (const Line& line : lines) {
      ASSERT_EQ(channel(ch) != nullptr, line.built) << "out" << ch;
      ++ch;
    }
  }
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
  ASSERT_NO_FATAL_FAILURE(expectLoaded(
      {{"16,1,-1,aus", "Geraet dev16 nicht zugelassen (dev0 ... dev15)", false},
       {"-1,1,-1,aus", "Geraet dev-1 nicht zugelassen (dev0 ... dev15)", false},
       {"2,1,-1,aus", "Geraet dev2 nicht definiert", false},
       {"99999999999,1,-1,aus", "Geraet dev2147483647 nicht zugelassen (dev0 ... dev15)", false},
       // a first field without a number selects device 0
       {"abc,2,-1,aus", "", true}}));
  EXPECT_EQ(channel(4)->device, inst.t().devices.get(0));
}

TEST_F(OutputConfig, OutputNumberMustBeGivenAndWithinZeroToThirtyOne) {
  expectLoaded({{"0", "Ausgangsnummer nicht angegeben", false},
                {"0,-1,-1,aus", "Ausgangsnummer -1 nicht zugelassen (0 ... 31)", false},
                {"0,32,-1,aus", "Ausgangsnummer 32 nicht zugelassen (0 ... 31)", false},
                {"0,31,-1,aus", "", true}});
}

TEST_F(OutputConfig, OutputNumberMustExistOnTheDevice) {
  inst.t().devices.put(3, std::make_unique<FakeDevice>(inst.t(), 3, 8));
  inst.t().devices.put(4, std::make_unique<FakeDevice>(inst.t(), 4, 0));
  expectLoaded({{"3,8,-1,aus", "dev3 besitzt nur 8 Ausgaenge (0 ... 7)", false},
                {"3,7,-1,aus", "", true},
                {"4,0,-1,aus", "dev4 besitzt keine digitalen Ausgaenge", false},
                {"4,40,-1,aus", "Ausgangsnummer 40 nicht zugelassen (0 ... 31)", false}},
               false);
}

TEST_F(OutputConfig, DefaultModeMustBeOneOfTheFourNamesExactly) {
  ASSERT_NO_FATAL_FAILURE(
      expectLoaded({{"1,1,-1, ein", "dev1: unbekannte Default-Betriebsart ( ein)", false},
                    {"1,1,-1", "dev1: unbekannte Default-Betriebsart ((null))", false},
                    {"1,1", "dev1: unbekannte Default-Betriebsart ((null))", false},
                    {"1,1,-1,Ein", "dev1: unbekannte Default-Betriebsart (Ein)", false},
                    {"0,4,-1,aus", "", true},
                    {"0,5,-1,ein", "", true},
                    {"0,6,-1,uhr", "", true},
                    {"0,7,-1,slave", "", true}}));
  for (const int32_t ch : {4, 5, 6, 7}) EXPECT_EQ(channel(ch)->mode, ch - 4) << ch;
}

TEST_F(OutputConfig, SlaveOutsideTheTableOrOnItselfIsDroppedWithANote) {
  // The channel itself is built.
  ASSERT_NO_FATAL_FAILURE(
      expectLoaded({{"0,0,32,aus", "out0: Slave out32 nicht zugelassen (kein Slave)", true},
                    {"0,1,1,slave", "out1: Slave out1 nicht zugelassen (kein Slave)", true},
                    {"0,2,-7,aus", "", true},
                    {"0,3,31,aus", "", true},
                    {"0,4,0,aus", "", true},
                    {"0,5,9,ein,,x", "", true},
                    {"0,6,40,an", "dev0: unbekannte Default-Betriebsart (an)", false}}));
  EXPECT_EQ(channel(0)->slaveOut, -1);
  EXPECT_EQ(channel(1)->slaveOut, -1);
  EXPECT_LT(channel(2)->slaveOut, 0);
  EXPECT_EQ(channel(3)->slaveOut, 31);
  EXPECT_EQ(channel(4)->slaveOut, 0);
  EXPECT_EQ(channel(5)->slaveOut, 9) << "a link to an empty slot is kept and drives nothing";
  EXPECT_EQ(channel(5)->name, "x");
}

}  // namespace
