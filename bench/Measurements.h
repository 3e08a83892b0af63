#pragma once

#include <functional>
#include <string>

#include "bench/Figures.h"
#include "bench/Installation.h"
#include "bench/Options.h"

constexpr int kWarmUp = 100;      // round trips of each kind not counted
constexpr int kBurstWarmUp = 10;  // bursts not counted
constexpr int kBurstSize = 10;    // pipelined douts in one send

// Starts the server in a fresh installation under base and measures it, in
// this order: idle (no client), debug round trips alternating with the echo
// floor, dout round trips, pipelined douts, bursts of douts; memory after
// each phase. Then runs whileRunning, if given, with the server still
// running and otherwise idle. Stops the server with SIGTERM at the end.
Figures MeasureInstallation(
    const Options& options, FileSystem fileSystem, const std::string& base,
    const std::function<void(const TempInstallation&)>& whileRunning = nullptr);
