#pragma once

#include <string_view>

// The operator's console: the running report goes out, single key presses and
// the request to stop (ESC, SIGINT, SIGTERM, SIGHUP) come in.
class Console {
 public:
  virtual ~Console() = default;

  // Writes text as it is; it reaches the reader at once, never held in a buffer.
  virtual void write(std::string_view text) = 0;

  // The next key waiting (0 ... 255), or -1 when none is waiting.
  virtual int readKey() = 0;

  // True once the process was asked to stop by a signal (SIGINT, SIGTERM, SIGHUP).
  virtual bool stopRequested() = 0;

  void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
};
