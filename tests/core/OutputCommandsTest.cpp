#include "core/OutputCommands.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "core/Reply.h"
#include "devices/DummyIO.h"
#include "devices/StatusFiles.h"
#include "tests/support/TestInstallation.h"

namespace {

// Keeps what the handler sent; one handler call, one send.
class RecordingReply final : public ReplySink {
 public:
  void send(std::string_view bytes) override {
    text.append(bytes);
    ++sends;
  }
  std::string text;
  int sends = 0;
};

// Channels 0 ... 3 and 5 on outputs 0 ... 3 and 5 of a dummy device, all
// "aus"; slot 4 is empty. Commands run as user "xaver".
class OutputCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t.devices.put(0, std::make_unique<DummyIO>(t, 0));
    dev = t.devices.get(0);
    for (const int32_t ch : {0, 1, 2, 3, 5}) addChannel(ch, dev, ch == 3 ? "Pumpe" : "");
    t.CurrentUser = "xaver";
  }
  void TearDown() override { t.CurrentUser = nullptr; }

  void addChannel(int32_t ch, TessaroDev* device, std::string_view name) {
    t.outputs.put(ch, std::make_unique<DigitalOutput>(t, ch, device, ch, MODE_AUS, -1, name, ""));
  }
  int32_t mode(int32_t ch) const { return t.outputs.get(ch)->mode; }
  bool on(int ch) const { return dev->getOutputBit(ch) != 0; }
  // The reply of the last handler call; exactly one send is expected.
  std::string reply() {
    EXPECT_EQ(sink.sends, 1);
    sink.sends = 0;
    return std::exchange(sink.text, {});
  }
  // Starts a command afresh: the slow data flag as the loop leaves it.
  void fresh() { t.SlowDataNew = false; }

  TestInstallation inst;
  Tessaro& t = inst.t();
  TessaroDev* dev = nullptr;
  RecordingReply sink;
};

TEST_F(OutputCommandsTest, DoutLogsWithTheUserSetsTheModeAndMarksOnlyARealChange) {
  fresh();
  Dout(t, sink, "3", "ein");
  EXPECT_EQ(reply(), "ok\r\n");
  EXPECT_EQ(inst.log(), "\n12:00:30 [x] Pumpe: ein");
  EXPECT_EQ(mode(3), MODE_EIN);
  EXPECT_TRUE(on(3));
  EXPECT_TRUE(t.SlowDataNew);

  fresh();
  Dout(t, sink, "3", "ein");
  EXPECT_EQ(reply(), "ok\r\n");
  EXPECT_EQ(inst.log(), "\n12:00:30 [x] Pumpe: ein\n12:00:30 [x] Pumpe: ein");
  EXPECT_FALSE(t.SlowDataNew);
}

TEST_F(OutputCommandsTest, DoutRefusesAnUnknownModeWithoutLogging) {
  Dout(t, sink, "3", "EIN");
  EXPECT_EQ(reply(), "Tessaro.Dout: mode=EIN nicht zul\xE4ssig");
  EXPECT_EQ(mode(3), MODE_AUS);
  EXPECT_FALSE(FileExists(inst.dir() + "/logfile.txt"));
}

TEST_F(OutputCommandsTest, DoutOnAMissingChannelIsLoggedAsQuestionMarkAndFails) {
  fresh();
  Dout(t, sink, "40", "ein");
  EXPECT_EQ(reply(), "Tessaro.Dout: out40 = ein fehlgeschlagen");
  EXPECT_TRUE(t.SlowDataNew);
  Dout(t, sink, " 4 und mehr", "aus");  // the empty slot, read leniently
  EXPECT_EQ(reply(), "Tessaro.Dout: out4 = aus fehlgeschlagen");
  EXPECT_EQ(inst.log(), "\n12:00:30 [x] ?: ein\n12:00:30 [x] ?: aus");
}

TEST_F(OutputCommandsTest, DoutReadsAnOutputNumberWithoutDigitsAsZero) {
  Dout(t, sink, "abc", "ein");
  EXPECT_EQ(reply(), "ok\r\n");
  EXPECT_EQ(mode(0), MODE_EIN);
  EXPECT_TRUE(on(0));
}

TEST_F(OutputCommandsTest, DoutChecksItsArgumentsFirst) {
  Dout(t, sink, nullptr, nullptr);
  EXPECT_EQ(reply(), "Tessaro.Dout: outn_str nicht angegeben");
  Dout(t, sink, "1", nullptr);
  EXPECT_EQ(reply(), "Tessaro.Dout: mode_str nicht angegeben");
  EXPECT_FALSE(FileExists(inst.dir() + "/logfile.txt"));
}

TEST_F(OutputCommandsTest, DoutBinSetsTheChannelsOfTheMask) {
  fresh();
  Dout_Bin(t, sink, "5", "ein");
  EXPECT_EQ(reply(), "ok\r\n");
  EXPECT_EQ(inst.log(), "\n12:00:30 [x] Maske 5: ein");
  EXPECT_EQ(mode(0), MODE_EIN);
  EXPECT_EQ(mode(1), MODE_AUS);
  EXPECT_EQ(mode(2), MODE_EIN);
  EXPECT_EQ(mode(3), MODE_AUS);
  EXPECT_EQ(dev->outputBits, 0x5u);
  EXPECT_TRUE(t.SlowDataNew);
}

TEST_F(OutputCommandsTest, DoutBinWithMaskZeroChangesNothingButIsLoggedAndAnswered) {
  fresh();
  Dout_Bin(t, sink, "0", "ein");
  EXPECT_EQ(reply(), "ok\r\n");
  EXPECT_EQ(inst.log(), "\n12:00:30 [x] Maske 0: ein");
  EXPECT_EQ(dev->outputBits, 0u);
  EXPECT_FALSE(t.SlowDataNew);
}

TEST_F(OutputCommandsTest, DoutBinStopsAtTheFirstEmptySlot) {
  Dout_Bin(t, sink, "-1", "ein");
  EXPECT_EQ(reply(), "ok\r\n");
  EXPECT_EQ(inst.log(), "\n12:00:30 [x] Maske -1: ein");
  EXPECT_EQ(dev->outputBits, 0xFu);  // channel 5 lies behind the empty slot 4
  EXPECT_EQ(mode(5), MODE_AUS);

  fresh();
  Dout_Bin(t, sink, "48", "ein");  // bits 4 and 5 only
  EXPECT_EQ(reply(), "ok\r\n");
  EXPECT_EQ(mode(5), MODE_AUS);
  EXPECT_FALSE(t.SlowDataNew);
}

TEST_F(OutputCommandsTest, DoutBinStopsAtAChannelThatFailsAndKeepsWhatWasSet) {
  addChannel(1, nullptr, "ohne");  // a channel without device cannot be set
  Dout_Bin(t, sink, "7", "ein");
  EXPECT_EQ(reply(), "Tessaro.Dout_Bin: out1 = \"ein\" fehlgeschlagen");
  EXPECT_EQ(mode(0), MODE_EIN);
  EXPECT_EQ(mode(2), MODE_AUS);
  EXPECT_EQ(inst.log(), "\n12:00:30 [x] Maske 7: ein");
}

TEST_F(OutputCommandsTest, DoutBinChecksItsArgumentsFirst) {
  Dout_Bin(t, sink, nullptr, "ein");
  EXPECT_EQ(reply(), "Tessaro.Dout_Bin: mask_str nicht angegeben");
  Dout_Bin(t, sink, "1", nullptr);
  EXPECT_EQ(reply(), "Tessaro.Dout_Bin: mode_str nicht angegeben");
  Dout_Bin(t, sink, "1", "Ein");
  EXPECT_EQ(reply(), "Tessaro.Dout_Bin: mode=Ein nicht definiert");
  EXPECT_EQ(dev->outputBits, 0u);
  EXPECT_FALSE(FileExists(inst.dir() + "/logfile.txt"));
}

TEST_F(OutputCommandsTest, DoutTimerWithoutTimeEndsARunningTimer) {
  fresh();
  Dout_Timer(t, sink, "3", "5", "true");
  EXPECT_EQ(reply(), "ok\r\n");
  EXPECT_EQ(t.outputs.get(3)->timerMinutes, 5);
  EXPECT_TRUE(on(3));
  EXPECT_TRUE(t.SlowDataNew);

  Dout_Timer(t, sink, "3", nullptr, "true");
  EXPECT_EQ(reply(), "ok\r\n");
  EXPECT_EQ(t.outputs.get(3)->timerMinutes, 0);
  EXPECT_FALSE(on(3));  // back to its mode "aus"
  EXPECT_EQ(inst.log(),
            "\n12:00:30 [x] Pumpe: Timer = 5 min [ein]\n12:00:30 [x] Pumpe: Timer = 0 min [ein]");
}

TEST_F(OutputCommandsTest, DoutTimerSwitchesOnOnlyForExactlyTrue) {
  Dout(t, sink, "3", "ein");
  reply();
  Dout_Timer(t, sink, "3", "10", "TRUE");
  EXPECT_EQ(reply(), "ok\r\n");
  EXPECT_EQ(t.outputs.get(3)->timerOutput, 0);
  EXPECT_FALSE(on(3));
  EXPECT_EQ(inst.log(), "\n12:00:30 [x] Pumpe: ein\n12:00:30 [x] Pumpe: Timer = 10 min [off]");
}

TEST_F(OutputCommandsTest, DoutTimerOnAMissingChannelIsStillAnsweredOk) {
  fresh();
  Dout_Timer(t, sink, "40", "3", "true");
  EXPECT_EQ(reply(), "ok\r\n");
  EXPECT_TRUE(t.SlowDataNew);
  EXPECT_EQ(inst.log(), "\n12:00:30 [x] ?: Timer = 3 min [ein]");
}

TEST_F(OutputCommandsTest, DoutTimerChecksItsArgumentsFirst) {
  Dout_Timer(t, sink, nullptr, "3", "true");
  EXPECT_EQ(reply(), "Tessaro.Dout_Timer: outn_str nicht angegeben");
  Dout_Timer(t, sink, "3", "3", nullptr);
  EXPECT_EQ(reply(), "Tessaro.Dout_Timer: output_str nicht angegeben");
  EXPECT_EQ(t.outputs.get(3)->timerMinutes, 0);
  EXPECT_FALSE(FileExists(inst.dir() + "/logfile.txt"));
}

TEST_F(OutputCommandsTest, SetDebugSwitchesTheOutputWritingWithoutLogging) {
  fresh();
  SetDebug(t, sink, "0");
  EXPECT_EQ(reply(), "ok\r\n");
  EXPECT_FALSE(t.EnableOutput);
  EXPECT_TRUE(t.SlowDataNew);
  WriteSlowXml(t);
  EXPECT_NE(inst.slowXml().find("<enaoutp>0</enaoutp>"), std::string::npos);

  SetDebug(t, sink, "7");
  EXPECT_EQ(reply(), "ok\r\n");
  EXPECT_TRUE(t.EnableOutput);

  SetDebug(t, sink, "aus");  // no digits: 0
  EXPECT_EQ(reply(), "ok\r\n");
  EXPECT_FALSE(t.EnableOutput);

  fresh();
  SetDebug(t, sink, nullptr);
  EXPECT_EQ(reply(), "ok\r\n");
  EXPECT_FALSE(t.EnableOutput);
  EXPECT_FALSE(t.SlowDataNew);
  EXPECT_FALSE(FileExists(inst.dir() + "/logfile.txt"));
}

}  // namespace
