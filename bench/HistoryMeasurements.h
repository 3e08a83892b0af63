#pragma once

#include <string>

#include "bench/Figures.h"
#include "bench/Options.h"

constexpr int kHistoryDays = 365;
constexpr int kMinuteWrites = 120;  // single minutes written after the year
constexpr int kQueryRuns = 5;       // of each query, cold and warm
constexpr const char* kQueriedSeries = "tank.3.level";

// Builds a database of a simulated year of the demo installation under base
// through the gateway's History, as its recorder fills it but in batches of
// an hour with a prune after each day; then writes single minutes as the
// recorder does with its default batch, checkpoints, and times a 7-day and
// a 1-year query of one series: cold (the first after reopening, with the
// file dropped from the page cache) and warm (again on the same
// connection). The database is removed at the end unless kept.
HistoryFigures MeasureHistory(const Options& options, const std::string& base);
