#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "devices/DigitalOutput.h"

struct ChannelContext;

// The 32 output channel slots out0 ... out31; a channel's slot is its number.
class OutputTable {
 public:
  static constexpr int32_t kSize = 32;

  // The channel in slot ch, or null for an empty slot or a ch out of range.
  DigitalOutput* get(int32_t ch) const {
    return (ch >= 0 && ch < kSize) ? slots_[static_cast<size_t>(ch)].get() : nullptr;
  }
  void put(int32_t ch, std::unique_ptr<DigitalOutput> channel) {
    slots_.at(static_cast<size_t>(ch)) = std::move(channel);
  }

 private:
  std::array<std::unique_ptr<DigitalOutput>, kSize> slots_;
};

// Reads section Digital_Outputs of ./Tessaro.ini into the table, with its
// console report; the second half of LoadConfig. Lines that cannot be used
// leave their slot empty; loading always goes on.
void LoadOutputs(const ChannelContext& c);

// Sets and applies a channel's mode; writes every device whose image changed
// (for uhr the time switch decides and the bit waits for the next write
// pass). changed is set to 1 when the mode really changed, never cleared.
// -1 for a number out of range or an empty slot.
int32_t SetOutputMode(const ChannelContext& c, int32_t ch, int32_t mode, int32_t& changed);

// Puts every channel's configured mode into its device's image as
// SetOutputMode would, but writes no device: after a power cut a channel
// configured ein must come back on by itself, at the first write pass.
// Channels in mode uhr are left to the time switch.
void ApplyConfiguredModes(const ChannelContext& c);

// Holds the channel at value (nonzero = on) for minutes; 0 or fewer minutes
// end a running timer by applying the current mode again. The bit reaches the
// device at the next write pass. -1 for a number out of range or an empty slot.
int32_t StartOutputTimer(const ChannelContext& c, int32_t ch, int32_t minutes, int32_t value);

// The per-minute timer step: 1 when at least one timer was running. A timer
// reaching its end applies the channel's mode again and is logged.
int32_t CountDownTimers(const ChannelContext& c);

// The per-minute write pass over every device: true when any had changed bits.
bool WriteAllOutputs(const ChannelContext& c);

// True when a channel naming ch as its slave has its output bit set.
bool AnyMasterOn(const ChannelContext& c, int32_t ch);

// aus 0, ein 1, uhr 2, slave 3, exactly; -1 for anything else or null.
int32_t ParseOutputMode(const char* text);
// The mode's name, "?" for no mode.
const char* OutputModeName(int32_t mode);
// The channel's name, "?" for a number out of range or an empty slot.
const char* OutputName(const ChannelContext& c, int32_t ch);
