#include "tools/support/Wait.h"

#include <sched.h>

#include <algorithm>
#include <chrono>
#include <thread>

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool WaitUntil(const std::function<bool()>& cond, int timeoutMs) {
  const int64_t start = NowMs();
  for (int naps = 0; !cond(); ++naps) {
    const int64_t now = NowMs();
    if (now - start > timeoutMs) return cond();
    // Yielding for the first two milliseconds lets a kernel worker or a
    // thread of the test hand bytes over; then naps of 1 ms growing to 16.
    if (now - start < 2) {
      sched_yield();
      naps = 0;
    } else {
      SleepMs(1 << std::min(naps / 8, 4));
    }
  }
  return true;
}
