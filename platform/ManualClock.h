#pragma once

#include "platform/Clock.h"

// A clock that stands still until it is told the time: for tests and for
// replaying days or weeks in a fraction of a second.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(int64_t t = 0) : time_(t) {}
  int64_t now() override { return time_; }
  void set(int64_t t) { time_ = t; }
  void advance(int64_t seconds) { time_ += seconds; }

 private:
  int64_t time_;
};
