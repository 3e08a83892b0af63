#pragma once

#include <cstdint>
#include <string>

class Tessaro;

// The event log logfile.txt and its tail, the message list. Every entry is
// one line break and one line, appended with an open and close of its own so
// that it is on disk when LogEvent returns; the file only ever grows.
class EventLog {
 public:
  static constexpr int32_t kDayHeader = 2;  // kind of the date line at midnight
  static constexpr size_t kMaxMessage = 255;
  static constexpr size_t kTail = 1024;  // bytes of the file the message list shows

  explicit EventLog(Tessaro& t) : t_(t) {}

  // Appends an entry stamped with the loop pass's time: kind 2 writes the
  // day header (format ignored), any other kind "HH:MM:SS [u] message", the
  // bracket only while a command of user u is dispatched. An entry that
  // cannot be written is lost without a word.
  void LogEvent(int32_t kind, const char* format, ...) __attribute__((format(printf, 3, 4)));

  // MessageList = the complete entries within the last 1024 bytes of the
  // file. Keeps the old list when the file cannot be read.
  void RefreshMessageList();

  bool LogChanged = false;
  std::string MessageList;  // at most 1023 characters

 private:
  Tessaro& t_;
};
