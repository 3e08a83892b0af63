#pragma once

#include <string>

#include "bench/Figures.h"
#include "bench/Installation.h"
#include "bench/Options.h"

constexpr int kEventWarmUp = 10;   // mode changes not counted
constexpr int kEventPauseMs = 20;  // after each step of a round
constexpr int kEventChannel = 0;   // switched through the gateway
constexpr int kFloorChannel = 1;   // switched directly, for the rename floor

// Runs the gateway in the installation of a running, otherwise idle server,
// recording into a database under historyBase, and measures it in this
// order: idle with one event stream open; rounds of a mode change through
// the API until its event, a debug request and a dout straight to the
// server; memory. Then the same idle with --history none.
GatewayFigures MeasureGateway(const Options& options, const TempInstallation& dir,
                              const std::string& historyBase);
