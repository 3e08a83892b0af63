// Waiting for what is awaited, for the tests, the simulators and the
// benchmark: a condition polled until it holds, never a fixed sleep.
#pragma once

#include <cstdint>
#include <functional>

// The monotonic clock in milliseconds.
int64_t NowMs();

void SleepMs(int ms);

// Polls cond until it holds, for at most timeoutMs. The first polls come
// within microseconds (a pseudo-terminal or loopback hand-over), later ones
// every few milliseconds (a process writing a file): what is awaited costs
// little more than its own time.
bool WaitUntil(const std::function<bool()>& cond, int timeoutMs = 5000);
