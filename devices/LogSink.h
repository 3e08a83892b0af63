#pragma once

#include <cstdint>
#include <string>

// Where devices, channels and the time switch put their event log entries;
// they never see the log file itself.
class LogSink {
 public:
  static constexpr int32_t kDayHeader = 2;  // kind of the date line at midnight
  static constexpr size_t kMaxMessage = 255;

  // Appends an entry: kind 2 is the day header (format ignored), any other
  // kind a message of at most 255 characters. An entry that cannot be
  // written is lost without a word.
  void LogEvent(int32_t kind, const char* format, ...) __attribute__((format(printf, 3, 4)));

 protected:
  ~LogSink() = default;
  virtual void write(int32_t kind, const std::string& message) = 0;
};
