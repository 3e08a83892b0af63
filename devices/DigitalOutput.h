#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/ChannelMode.h"

struct ChannelContext;
class TessaroDev;

// Operating modes of an output channel.
enum OutputMode : int32_t {
  MODE_AUS = static_cast<int32_t>(ChannelMode::Aus),
  MODE_EIN = static_cast<int32_t>(ChannelMode::Ein),
  MODE_UHR = static_cast<int32_t>(ChannelMode::Uhr),
  MODE_SLAVE = static_cast<int32_t>(ChannelMode::Slave),
};

// A channel's texts (name, control file, info) hold at most this many characters.
constexpr size_t kOutputTextMax = 31;

// The name of a channel configured without one.
std::string DefaultOutputName(int32_t devIndex, int32_t devOutput);

// True when slaveOut names another channel a link may lead to: 0 ... 31 and
// not ch itself. A negative number is "no slave"; anything else is refused so
// that a link can neither run off the table nor hold itself on.
constexpr bool IsAllowedSlave(int32_t ch, int32_t slaveOut) {
  return slaveOut >= 0 && slaveOut < 32 && slaveOut != ch;
}

// One output channel out0 ... out31: maps its channel number onto one output
// of one device and decides from mode, timer and time switch whether it is on.
// It never talks to hardware: it only sets its bit in the device's image.
class DigitalOutput {
 public:
  // An empty name becomes "dev%d_ch%d"; texts are cut to 31 characters. A
  // slaveOut that IsAllowedSlave refuses (other than a negative one) is
  // stored as -1.
  DigitalOutput(const ChannelContext& c, int32_t outIndex, TessaroDev* device, int32_t devOutput,
                int32_t mode, int32_t slaveOut, std::string_view name,
                std::string_view controlFile);

  // Sets the channel's bit (nonzero = on) and passes the change down its
  // chain of slaves: each slave in mode slave ends up on exactly when one of
  // its masters is on. Each channel of the chain is visited at most once.
  void setValue(int32_t value);

  // Appends the channel's digout fragment of the slow status file.
  void writeXml(std::string& file) const;

  int32_t outIndex;
  TessaroDev* device;  // not owned
  int32_t devOutput;
  int32_t mode;
  int32_t slaveOut;         // negative: no slave
  int32_t nextSwitch = -1;  // week time of the next switching point; negative: determine afresh
  int32_t timerMinutes = 0;
  int32_t timerOutput = 1;
  std::string info = " ";
  std::string name;
  std::string controlFile;

 private:
  const ChannelContext& c_;
};
