#pragma once

#include <cstdint>
#include <string>

// What every part of the benchmark uses. The benchmark is a tool run by
// hand: a failure it cannot measure through ends the run with a reason.

[[noreturn]] void Fail(const std::string& why);

// The monotonic clock, in ns; the figures are differences of it.
int64_t NowNs();
void SleepUs(int64_t us);

// The whole file, or "" when it cannot be read.
std::string ReadWholeFile(const std::string& path);
