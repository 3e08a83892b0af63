#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/EventLog.h"
#include "devices/ChannelContext.h"
#include "devices/DeviceContext.h"
#include "devices/DeviceTable.h"
#include "devices/OutputTable.h"
#include "devices/StatusContext.h"
#include "drivers/serial/ComPortTable.h"
#include "drivers/serial/PortContext.h"
#include "timeswitch/TimeSwitch.h"

// Everything the program keeps for its whole run, in one place: a test
// creates a fresh one over a directory (in memory or on disk) and a clock it
// sets. Each layer below is handed only its own part: the devices the
// DeviceContext this class is, the channels, the serial drivers and the
// status files a context of their own.
class Tessaro : public DeviceContext {
 public:
  Tessaro(Clock& clock, Console& console, FileSystem& files, std::string dir = "");
  Tessaro(const Tessaro&) = delete;
  Tessaro& operator=(const Tessaro&) = delete;

  // Asks the loop to rewrite the slow status file in this pass.
  void MarkSlowData() { SlowDataNew = true; }

  // Starts the weekly time switch at the pass's time; the channels in mode
  // uhr follow it from now on.
  void startTimeSwitch();

  operator ChannelContext&() { return channels; }
  operator const PortContext&() const { return ports; }
  operator const StatusContext&() const { return status; }

  int32_t SlowId = 0;
  bool SlowDataNew = false;

  EventLog eventLog;
  DeviceTable devices;
  OutputTable outputs;
  ComPortTable com;
  ChannelContext channels;
  PortContext ports;
  StatusContext status;
  std::unique_ptr<TimeSwitch> timeSwitch;  // created at start-up; last, it uses channels
};
