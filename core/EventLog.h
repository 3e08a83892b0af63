#pragma once

#include <cstdint>
#include <string>

#include "devices/LogSink.h"

class DeviceContext;

// The event log logfile.txt and its tail, the message list. Every entry is
// one line break and one line, appended by a write of its own so that it is
// in the file when LogEvent returns; the file only ever grows.
class EventLog final : public LogSink {
 public:
  static constexpr size_t kTail = 1024;  // bytes of the file the message list shows

  // Entries are stamped with the pass's time of context.
  explicit EventLog(const DeviceContext& context) : context_(context) {}

  // MessageList = the complete entries within the last 1024 bytes of the
  // file. Keeps the old list when the file cannot be read.
  void RefreshMessageList();

  // The name of the user whose command is being dispatched, null between
  // commands: entries then read "HH:MM:SS [u] message", u its first byte.
  // REQUIRES: user outlives the command.
  void setUser(const char* user) { user_ = user; }
  const char* user() const { return user_; }

  bool LogChanged = false;
  std::string MessageList;  // at most 1023 characters

 private:
  void write(int32_t kind, const std::string& message) override;

  const DeviceContext& context_;
  const char* user_ = nullptr;
};
