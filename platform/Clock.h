#pragma once

#include <cstdint>
#include <ctime>

// The one source of wall-clock time. The program reads it once per loop pass;
// tests substitute a ManualClock and set the time they want.
class Clock {
 public:
  virtual ~Clock() = default;

  // Calendar time: seconds since 1970-01-01 00:00 UTC.
  virtual int64_t now() = 0;

  // Local broken-down time of t, following TZ. All fields 0 (and mday 1) when
  // t has no local time on this platform.
  static std::tm toLocal(int64_t t);
};

class SystemClock final : public Clock {
 public:
  int64_t now() override;
  // The same in milliseconds, for what stamps its records finer than a pass.
  static int64_t nowMs();
};
