#include "core/OutputCommands.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>

#include "devices/DummyIO.h"
#include "devices/StatusFiles.h"
#include "tests/support/RecordingReply.h"
#include "tests/support/TestInstallation.h"

namespace {

// Channels 0 ... 3 and 5 on outputs 0 ... 3 and 5 of a dummy device, all
// "aus"; slot 4 is empty. Commands run as user "xaver".
class OutputCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t.devices.put(0, std::make_unique<DummyIO>(t, 0));
    dev = t.devices.get(0);
    for (const int32_t ch : {0, 1, 2, 3, 5}) {
      PutChannel(t, ch, dev, ch, MODE_AUS, -1, ch == 3 ? "Pumpe" : "");
    }
    t.eventLog.setUser("xaver");
  }
  void TearDown() override { t.eventLog.setUser(nullptr); }

  int32_t mode(int32_t ch) const { return t.outputs.get(ch)->mode; }
  bool on(int ch) const { return dev->getOutputBit(ch) != 0; }
  // The reply of the last handler call; exactly one send is expected.
  std::string reply() {
    EXPECT_EQ(sink.sends.size(), 1u);
    std::string text;
    for (const std::string& sent : std::exchange(sink.sends, {})) text += sent;
    return text;
  }
  // Starts a command afresh: the slow data flag as the loop leaves it.
  void fresh() { t.SlowDataNew = false; }

  TestInstallation inst;
  Tessaro& t = inst.t();
  TessaroDev* dev = nullptr;
  RecordingReply sink{t};
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

TEST_F(OutputCommandsTest, DoutBinSetsTheChannelsOfTheMask) {
  fresh();
  Dout_Bin(t, sink, "5", "ein");
  EXPECT_EQ(reply(), "ok\r\n");
  EXPECT_EQ(inst.log(), "\n12:00:30 [x] Maske 5: ein");
  const int32_t modes[] = {MODE_EIN, MODE_AUS, MODE_EIN, MODE_AUS};
  for (int32_t ch = 0; ch < 4; ++ch) EXPECT_EQ(mode(ch), modes[ch]) << "channel " << ch;
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
  PutChannel(t, 1, nullptr, 1, MODE_AUS, -1, "ohne");  // a channel without device cannot be set
  Dout_Bin(t, sink, "7", "ein");
  EXPECT_EQ(reply(), "Tessaro.Dout_Bin: out1 = \"ein\" fehlgeschlagen");
  EXPECT_EQ(mode(0), MODE_EIN);
  EXPECT_EQ(mode(2), MODE_AUS);
  EXPECT_EQ(inst.log(), "\n12:00:30 [x] Maske 7: ein");
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

TEST_F(OutputCommandsTest, SetDebugSwitchesTheOutputWritingWithoutLogging) {
  // In turn: the value, whether output writing is on after it, and whether
  // the slow data are marked new.
  const std::tuple<const char*, bool, bool> rows[] = {
      {"0", false, true}, {"7", true, true}, {"aus", false, true},  // no digits: 0
      {nullptr, false, false}};
  for (const auto& [enaoutp, enabled, marked] : rows) {
    SCOPED_TRACE(enaoutp != nullptr ? enaoutp : "no value");
    fresh();
    SetDebug(t, sink, enaoutp);
    EXPECT_EQ(reply(), "ok\r\n");
    EXPECT_EQ(t.EnableOutput, enabled);
    EXPECT_EQ(t.SlowDataNew, marked);
  }
  WriteSlowXml(t);
  EXPECT_NE(inst.slowXml().find("<enaoutp>0</enaoutp>"), std::string::npos);
  EXPECT_FALSE(inst.exists("logfile.txt"));
}

// A call refused for its arguments, and its reply.
struct Refusal {
  const char* name;
  const char* reply;
  void (*call)(Tessaro& t, ReplySink& sink);
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class OutputCommandsRefusal : public OutputCommandsTest,
                              public ::testing::WithParamInterface<Refusal> {};

// The arguments are checked before anything is set or logged.
TEST_P(OutputCommandsRefusal, SetsAndLogsNothing) {
  GetParam().call(t, sink);
  EXPECT_EQ(reply(), GetParam().reply);
  for (const int32_t ch : {0, 1, 2, 3, 5}) EXPECT_EQ(mode(ch), MODE_AUS) << "channel " << ch;
  EXPECT_EQ(dev->outputBits, 0u);
  EXPECT_EQ(t.outputs.get(3)->timerMinutes, 0);
  EXPECT_FALSE(inst.exists("logfile.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    OutputCommands, OutputCommandsRefusal,
    ::testing::Values(
        Refusal{"DoutWithoutOutput", "Tessaro.Dout: outn_str nicht angegeben",
                [](Tessaro& t, ReplySink& s) { Dout(t, s, nullptr, nullptr); }},
        Refusal{"DoutWithoutMode", "Tessaro.Dout: mode_str nicht angegeben",
                [](Tessaro& t, ReplySink& s) { Dout(t, s, "1", nullptr); }},
        Refusal{"DoutWithAnUnknownMode", "Tessaro.Dout: mode=EIN nicht zul\xE4ssig",
                [](Tessaro& t, ReplySink& s) { Dout(t, s, "3", "EIN"); }},
        Refusal{"DoutBinWithoutMask", "Tessaro.Dout_Bin: mask_str nicht angegeben",
                [](Tessaro& t, ReplySink& s) { Dout_Bin(t, s, nullptr, "ein"); }},
        Refusal{"DoutBinWithoutMode", "Tessaro.Dout_Bin: mode_str nicht angegeben",
                [](Tessaro& t, ReplySink& s) { Dout_Bin(t, s, "1", nullptr); }},
        Refusal{"DoutBinWithAnUnknownMode", "Tessaro.Dout_Bin: mode=Ein nicht definiert",
                [](Tessaro& t, ReplySink& s) { Dout_Bin(t, s, "1", "Ein"); }},
        Refusal{"DoutTimerWithoutOutput", "Tessaro.Dout_Timer: outn_str nicht angegeben",
                [](Tessaro& t, ReplySink& s) { Dout_Timer(t, s, nullptr, "3", "true"); }},
        Refusal{"DoutTimerWithoutState", "Tessaro.Dout_Timer: output_str nicht angegeben",
                [](Tessaro& t, ReplySink& s) { Dout_Timer(t, s, "3", "3", nullptr); }}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

}  // namespace
