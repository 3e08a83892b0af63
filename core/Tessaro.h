#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "core/EventLog.h"
#include "devices/DeviceTable.h"
#include "devices/OutputTable.h"
#include "drivers/serial/ComPortTable.h"
#include "timeswitch/TimeSwitch.h"

class Clock;
class Console;
class FtdiAdapter;

// One reading of the clock: calendar time and its local broken-down form.
struct ClockReading {
  int64_t time = 0;
  std::tm local{};
};

// Everything the program keeps for its whole run, in one place: a test
// creates a fresh one over a temporary directory and a clock it sets.
class Tessaro {
 public:
  // dir is the working directory all relative paths are taken from; empty
  // means the process's own.
  Tessaro(Clock& clock, Console& console, std::string dir = "");
  ~Tessaro();
  Tessaro(const Tessaro&) = delete;
  Tessaro& operator=(const Tessaro&) = delete;

  Clock& clock;
  Console& console;
  FtdiAdapter* ftdi = nullptr;  // the USB adapter; set before LoadConfig

  // rel taken from the working directory (absolute paths stay as they are).
  std::string path(std::string_view rel) const;

  // The value of key in section of ./Tessaro.ini, cut to bufferSize - 1.
  std::string config(std::string_view section, std::string_view key, size_t bufferSize,
                     const char* defaultValue = nullptr) const;

  // Reads the clock once into CurrentTime.
  void readClock();

  // Asks the loop to rewrite the slow status file in this pass.
  void MarkSlowData() { SlowDataNew = true; }

  ClockReading CurrentTime;
  int32_t SlowId = 0;
  bool SlowDataNew = false;
  bool EnableOutput = true;
  // The user name of the command being dispatched, null between commands.
  const char* CurrentUser = nullptr;

  EventLog log;
  DeviceTable devices;
  OutputTable outputs;
  ComPortTable com;
  std::unique_ptr<TimeSwitch> timeSwitch;  // created at start-up

 private:
  std::string dir_;
};
