#pragma once

#include <cstdint>

class DeviceContext;
class DeviceTable;
class OutputTable;

// The channels in mode uhr are evaluated by the time switch, which sits
// above the channels and registers itself here.
class ClockChannels {
 public:
  // Evaluates channel ch if it is in mode uhr without a running timer;
  // sets changed to 1 when it recorded a new next switching time.
  virtual void evaluateOutput(int32_t ch, int32_t& changed) = 0;

 protected:
  ~ClockChannels() = default;
};

// What the output channels and their commands work on.
struct ChannelContext {
  const DeviceContext& context;
  DeviceTable& devices;
  OutputTable& outputs;
  ClockChannels* clockChannels = nullptr;  // null until the time switch starts
};
