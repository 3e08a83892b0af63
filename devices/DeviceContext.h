#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "devices/LogSink.h"

class Clock;
class Console;
class FileSystem;
class FtdiAdapter;

// One reading of the clock: calendar time and its local broken-down form.
struct ClockReading {
  int64_t time = 0;
  std::tm local{};
};

// What devices, channels and the time switch may use of the program: the
// console, the log, the files, the configuration and the pass's time. They
// hold it const; only the program itself sets the time, the output switch
// and the adapter.
class DeviceContext {
 public:
  // dir is the working directory all relative paths are taken from; empty
  // means the process's own.
  DeviceContext(Clock& clock, Console& console, LogSink& log, FileSystem& files, std::string dir);

  Clock& clock;
  Console& console;
  LogSink& log;
  FileSystem& files;
  FtdiAdapter* ftdi = nullptr;  // the USB adapter; set before LoadConfig

  ClockReading CurrentTime;  // read once per pass
  bool EnableOutput = true;  // false: devices show their outputs but send nothing

  // rel taken from the working directory (absolute paths stay as they are).
  std::string path(std::string_view rel) const;

  // The value of key in section of ./Tessaro.ini, cut to bufferSize - 1.
  std::string config(std::string_view section, std::string_view key, size_t bufferSize,
                     const char* defaultValue = nullptr) const;

  // Reads the clock once into CurrentTime.
  void readClock();

 private:
  std::string dir_;
};
