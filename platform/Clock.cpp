#include "platform/Clock.h"

#include <time.h>

std::tm Clock::toLocal(int64_t t) {
  std::tm local{};
  const time_t tt = static_cast<time_t>(t);
  if (localtime_r(&tt, &local) == nullptr) {
    local = std::tm{};
    local.tm_mday = 1;
  }
  return local;
}

int64_t SystemClock::now() { return static_cast<int64_t>(time(nullptr)); }

int64_t SystemClock::nowMs() {
  timespec t{};
  clock_gettime(CLOCK_REALTIME, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}
