#include "devices/DigitalOutput.h"

#include <gtest/gtest.h>

#include <utility>

#include "core/MainLoop.h"
#include "devices/OutputTable.h"
#include "tests/support/FakeDevice.h"
#include "tests/support/TestInstallation.h"

namespace {

class OutputChannel : public ::testing::Test {
 protected:
  OutputChannel() {
    dev0 = addDevice(0, 32);
    dev1 = addDevice(1, 8);
  }
  FakeDevice* addDevice(int32_t index, int32_t outputs) {
    auto device = std::make_unique<FakeDevice>(t, index, outputs);
    FakeDevice* raw = device.get();
    t.devices.put(index, std::move(device));
    return raw;
  }
  int bit(int32_t ch) const {
    const DigitalOutput* c = t.outputs.get(ch);
    return c->device->getOutputBit(c->devOutput);
  }
  // The changed flag SetOutputMode leaves, starting from 0.
  int32_t setMode(int32_t ch, int32_t mode) {
    int32_t changed = 0;
    EXPECT_EQ(SetOutputMode(t, ch, mode, changed), 0);
    return changed;
  }

  TestInstallation inst;
  Tessaro& t = inst.t();
  FakeDevice* dev0 = nullptr;
  FakeDevice* dev1 = nullptr;
};

using OutputSlave = OutputChannel;
using OutputTimer = OutputChannel;

TEST_F(OutputChannel, ModeSetsTheBitAndWritesEveryChangedDeviceAtOnce) {
  PutChannel(t, 0, dev0, 3, MODE_AUS);
  EXPECT_EQ(setMode(0, MODE_EIN), 1);
  EXPECT_EQ(bit(0), 1);
  EXPECT_EQ(dev0->outputBits, 1u << 3);
  // Every device starts with a change, so the first mode change writes them all.
  EXPECT_EQ(dev0->writes, 1);
  EXPECT_EQ(dev1->writes, 1);

  EXPECT_EQ(setMode(0, MODE_AUS), 1);
  EXPECT_EQ(bit(0), 0);
  EXPECT_EQ(dev0->writes, 2);
  EXPECT_EQ(dev1->writes, 1) << "an unchanged device is not written";
}

TEST_F(OutputChannel, SameModeAgainKeepsChangedButEndsTimerAndAppliesValue) {
  DigitalOutput& c = PutChannel(t, 0, dev0, 0, MODE_EIN);
  ASSERT_EQ(StartOutputTimer(t, 0, 5, 0), 0);
  ASSERT_EQ(bit(0), 0);
  EXPECT_EQ(setMode(0, MODE_EIN), 0);
  EXPECT_EQ(c.info, " ");
  EXPECT_EQ(c.timerMinutes, 0);
  EXPECT_EQ(bit(0), 1);

  int32_t changed = 1;
  SetOutputMode(t, 0, MODE_EIN, changed);
  EXPECT_EQ(changed, 1) << "the flag is never cleared";
}

TEST_F(OutputChannel, UhrRestartsTheTimeSwitchAndWritesNoDevice) {
  DigitalOutput& c = PutChannel(t, 0, dev0, 2, MODE_AUS);
  ASSERT_EQ(StartOutputTimer(t, 0, 10, 1), 0);
  c.nextSwitch = 3600;
  ASSERT_TRUE(dev0->hasChanged());
  EXPECT_EQ(setMode(0, MODE_UHR), 1);
  EXPECT_EQ(c.mode, MODE_UHR);
  EXPECT_EQ(c.nextSwitch, -1);
  EXPECT_EQ(c.timerMinutes, 0);
  EXPECT_EQ(c.info, " ");
  EXPECT_EQ(dev0->writes, 0);
  EXPECT_EQ(dev1->writes, 0);
}

TEST_F(OutputChannel, NumbersOutOfRangeEmptySlotsAndMissingDevicesAreRefused) {
  PutChannel(t, 0, dev0, 0, MODE_AUS);
  PutChannel(t, 1, nullptr, 0, MODE_AUS);
  for (const int32_t ch : {-1, 1, 5, 32}) {
    int32_t changed = 0;
    EXPECT_EQ(SetOutputMode(t, ch, MODE_EIN, changed), -1) << ch;
    EXPECT_EQ(changed, 0) << ch;
    EXPECT_EQ(StartOutputTimer(t, ch, 3, 1), -1) << ch;
  }
  EXPECT_EQ(dev0->outputBits, 0u);
  EXPECT_EQ(dev0->writes, 0);
}

TEST_F(OutputChannel, WriteAllOutputsWritesEveryDeviceAndReportsChanges) {
  PutChannel(t, 0, dev1, 7, MODE_AUS);
  FakeDevice* sensor = addDevice(5, 0);
  EXPECT_TRUE(WriteAllOutputs(t)) << "every device starts with a change";
  EXPECT_FALSE(WriteAllOutputs(t));
  EXPECT_EQ(dev0->writes, 2);
  EXPECT_EQ(dev1->writes, 2);
  EXPECT_EQ(sensor->writes, 2) << "a device without outputs takes part too";

  ASSERT_EQ(StartOutputTimer(t, 0, 2, 1), 0);
  EXPECT_EQ(dev1->writes, 2) << "a timer's bit waits for the write pass";
  EXPECT_TRUE(WriteAllOutputs(t));
  EXPECT_EQ(dev1->writes, 3);
  EXPECT_EQ(dev1->outputBits, 1u << 7);
}

TEST_F(OutputChannel, NamesAndModeNamesHaveTheirFallbacks) {
  PutChannel(t, 0, dev1, 7, MODE_AUS);
  PutChannel(t, 1, dev0, 0, MODE_AUS, -1, "Pumpe");
  const std::pair<int32_t, const char*> names[] = {
      {0, "dev1_ch7"}, {1, "Pumpe"}, {2, "?"}, {32, "?"}, {-1, "?"}};
  for (const auto& [ch, name] : names) EXPECT_STREQ(OutputName(t, ch), name) << ch;
  const std::pair<int32_t, const char*> modes[] = {{0, "aus"}, {1, "ein"}, {2, "uhr"}, {3, "slave"},
                                                   {4, "?"},   {7, "?"},   {-1, "?"}};
  for (const auto& [mode, name] : modes) EXPECT_STREQ(OutputModeName(mode), name) << mode;

  EXPECT_EQ(setMode(1, 7), 1);
  EXPECT_EQ(bit(1), 0) << "a mode without a name switches off";
}

TEST(OutputMode, OnlyTheExactNamesParse) {
  const std::pair<const char*, int32_t> rows[] = {
      {"aus", MODE_AUS}, {"ein", MODE_EIN}, {"uhr", MODE_UHR}, {"slave", MODE_SLAVE},
      {"Ein", -1},       {" ein", -1},      {"ein ", -1},      {"slaves", -1},
      {"", -1},          {"?", -1},         {nullptr, -1}};
  for (const auto& [text, mode] : rows) {
    EXPECT_EQ(ParseOutputMode(text), mode) << (text != nullptr ? text : "null");
  }
}

TEST_F(OutputSlave, TwoMastersHoldTheirSlaveUntilBothAreOff) {
  PutChannel(t, 0, dev0, 0, MODE_AUS, 2);  // A
  PutChannel(t, 1, dev0, 1, MODE_AUS, 2);  // B
  PutChannel(t, 2, dev1, 0, MODE_SLAVE);   // S
  setMode(0, MODE_EIN);
  EXPECT_EQ(bit(2), 1);
  setMode(1, MODE_AUS);
  EXPECT_EQ(bit(2), 1) << "A still holds S";
  setMode(0, MODE_AUS);
  EXPECT_EQ(bit(2), 0);
}

TEST_F(OutputSlave, ASlaveChannelInModeSlaveTakesItsValueFromItsMasters) {
  PutChannel(t, 0, dev0, 0, MODE_EIN, 1);
  PutChannel(t, 1, dev0, 1, MODE_AUS);
  setMode(0, MODE_EIN);
  EXPECT_EQ(bit(1), 0) << "a slave link drives only a channel in mode slave";
  EXPECT_EQ(setMode(1, MODE_SLAVE), 1);
  EXPECT_EQ(bit(1), 1);
  EXPECT_TRUE(AnyMasterOn(t, 1));
  EXPECT_FALSE(AnyMasterOn(t, 0));
  EXPECT_FALSE(AnyMasterOn(t, 32));
}

TEST_F(OutputSlave, ChainPassesTheValueDown) {
  PutChannel(t, 0, dev0, 0, MODE_AUS, 1);
  PutChannel(t, 1, dev0, 1, MODE_SLAVE, 2);
  PutChannel(t, 2, dev0, 2, MODE_SLAVE);
  setMode(0, MODE_EIN);
  EXPECT_EQ(dev0->outputBits, 0b111u);
  setMode(0, MODE_AUS);
  EXPECT_EQ(dev0->outputBits, 0u);
}

TEST_F(OutputSlave, RingOfSlaveChannelsEndsAfterOneRound) {
  PutChannel(t, 0, dev0, 0, MODE_SLAVE, 1);
  PutChannel(t, 1, dev0, 1, MODE_SLAVE, 0);
  ASSERT_EQ(StartOutputTimer(t, 0, 2, 1), 0);
  EXPECT_EQ(dev0->outputBits, 0b11u);
  // Channel 1 off: its slave 0 has no master on any more; the walk stops
  // before it comes back to channel 1.
  ASSERT_EQ(StartOutputTimer(t, 1, 2, 0), 0);
  EXPECT_EQ(dev0->outputBits, 0u);
}

TEST_F(OutputSlave, SelfLinksAndLinksPastTheTableMeanNoSlave) {
  EXPECT_EQ(PutChannel(t, 0, dev0, 0, MODE_SLAVE, 0).slaveOut, -1);
  EXPECT_EQ(PutChannel(t, 1, dev0, 1, MODE_AUS, 32).slaveOut, -1);
  EXPECT_EQ(PutChannel(t, 2, dev0, 2, MODE_AUS, -5).slaveOut, -5);
  EXPECT_EQ(PutChannel(t, 3, dev0, 3, MODE_AUS, 31).slaveOut, 31);

  // A slave of itself would hold itself on after its timer.
  ASSERT_EQ(StartOutputTimer(t, 0, 1, 1), 0);
  EXPECT_EQ(bit(0), 1);
  CountDownTimers(t);
  EXPECT_EQ(bit(0), 0);
}

TEST_F(OutputSlave, LinkToAnEmptySlotIsHarmless) {
  PutChannel(t, 0, dev0, 0, MODE_AUS, 9);
  setMode(0, MODE_EIN);
  EXPECT_EQ(dev0->outputBits, 1u);
}

TEST_F(OutputTimer, InfoCountsDownAndExpiryAppliesTheModeWithALogEntry) {
  DigitalOutput& c = PutChannel(t, 0, dev0, 5, MODE_AUS, -1, "Pumpe");
  ASSERT_EQ(StartOutputTimer(t, 0, 30, 1), 0);
  EXPECT_EQ(c.info, "0030");
  ASSERT_EQ(StartOutputTimer(t, 0, 3, 1), 0);
  EXPECT_EQ(c.info, "0003");
  EXPECT_EQ(bit(0), 1);
  EXPECT_EQ(dev0->writes, 0) << "the timer's bit waits for the write pass";

  for (const auto& [info, minutes] : {std::pair{"0002", 2}, {"0001", 1}, {" ", 0}}) {
    EXPECT_EQ(inst.log(), "");
    EXPECT_EQ(CountDownTimers(t), 1);
    EXPECT_EQ(c.info, info);
    EXPECT_EQ(c.timerMinutes, minutes);
  }
  EXPECT_EQ(c.timerOutput, 1);
  EXPECT_EQ(bit(0), 0);
  EXPECT_EQ(inst.log(), "\n12:00:30 Pumpe: Timer abgelaufen");

  EXPECT_EQ(CountDownTimers(t), 0) << "no timer runs any more";
}

TEST_F(OutputTimer, ZeroOrNegativeMinutesApplyTheModeAgain) {
  DigitalOutput& c = PutChannel(t, 0, dev0, 0, MODE_EIN);
  ASSERT_EQ(StartOutputTimer(t, 0, 4, 0), 0);
  ASSERT_EQ(bit(0), 0);
  ASSERT_EQ(StartOutputTimer(t, 0, -5, 0), 0);
  EXPECT_EQ(c.timerMinutes, 0);
  EXPECT_EQ(c.timerOutput, 0);
  EXPECT_EQ(c.info, " ");
  EXPECT_EQ(bit(0), 1);
  EXPECT_EQ(dev0->writes, 1) << "applying the mode writes the changed device at once";
  EXPECT_EQ(inst.log(), "") << "ending a timer early is not logged";
  EXPECT_EQ(CountDownTimers(t), 0);
}

TEST_F(OutputTimer, ExpiryHandsASlaveBackToItsMasters) {
  PutChannel(t, 0, dev0, 0, MODE_EIN, 1);
  PutChannel(t, 1, dev0, 1, MODE_SLAVE);
  setMode(0, MODE_EIN);
  ASSERT_EQ(StartOutputTimer(t, 1, 1, 0), 0);
  EXPECT_EQ(bit(1), 0);
  CountDownTimers(t);
  EXPECT_EQ(bit(1), 1);
}

// The loop counts timers down in the minute work of the first pass of each
// minute, after the commands served in that pass.
class OutputTimerInLoop : public ::testing::Test {
 protected:
  OutputTimerInLoop() : inst(At(2026, 12, 9, 10, 15, 30)), loop(inst.t(), 0, 0) {
    inst.writeIni("[Devices]\ndev0=dummy_io\n[Digital_Outputs]\nout0=0,4,-1,aus,Pumpe\n");
    EXPECT_EQ(loop.startUp(), 0);
    passAt(10, 15, 30);
  }
  void passAt(int hour, int minute, int second) {
    inst.clock.set(At(2026, 12, 9, hour, minute, second));
    loop.pass();
  }
  int bit() { return inst.t().devices.get(0)->getOutputBit(4); }
  std::string lastLogEntry() const {
    const std::string log = inst.log();
    return log.substr(log.rfind('\n') + 1);
  }
  // A pass at 10:minute:second, and what it leaves: the channel's info and
  // bit and the latest log entry.
  void expectAfterPassAt(int minute, int second, const char* info, int on, const char* logged) {
    SCOPED_TRACE(testing::Message() << "10:" << minute << ":" << second);
    passAt(10, minute, second);
    EXPECT_EQ(inst.t().outputs.get(0)->info, info);
    EXPECT_EQ(bit(), on);
    EXPECT_EQ(lastLogEntry(), logged);
  }

  TestInstallation inst;
  MainLoop loop;
};

constexpr char kStarted[] = "10:15:30 Tessaro gestartet";

TEST_F(OutputTimerInLoop, OneMinuteEndsAtTheNextMinuteStepAfterItsStart) {
  passAt(10, 15, 59);
  ASSERT_EQ(StartOutputTimer(inst.t(), 0, 1, 1), 0);
  EXPECT_EQ(bit(), 1);
  expectAfterPassAt(16, 0, " ", 0, "10:16:00 Pumpe: Timer abgelaufen");

  passAt(10, 16, 1);
  ASSERT_EQ(StartOutputTimer(inst.t(), 0, 1, 1), 0);
  expectAfterPassAt(16, 59, "0001", 1, "10:16:00 Pumpe: Timer abgelaufen");
  expectAfterPassAt(17, 0, " ", 0, "10:17:00 Pumpe: Timer abgelaufen");
}

TEST_F(OutputTimerInLoop, StartedInTheFirstPassOfAMinuteCountsThatMinuteStep) {
  // A command in the first pass of 10:16 is served before that pass's minute work.
  inst.setTime(At(2026, 12, 9, 10, 16, 0));
  ASSERT_EQ(StartOutputTimer(inst.t(), 0, 3, 1), 0);
  expectAfterPassAt(16, 0, "0002", 1, kStarted);
  expectAfterPassAt(17, 0, "0001", 1, kStarted);
  expectAfterPassAt(17, 59, "0001", 1, kStarted);
  expectAfterPassAt(18, 0, " ", 0, "10:18:00 Pumpe: Timer abgelaufen");
}

}  // namespace
