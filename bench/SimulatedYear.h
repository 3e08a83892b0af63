#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gateway/history/History.h"

// A year of the demo installation (examples/demo/Tessaro.ini) as the
// gateway records it, made up but plausible, and the same on every run.

// The sensor series the recorder samples each minute: the hb628 of dev2
// (ai.2.1 ... ai.2.8), the leveljet of dev3 (tank.3.level, liter, percent)
// and the klimaloggpro of dev4 (klp.4.tmp.0 ... 8, klp.4.hum.0 ... 8).
std::vector<std::string> DemoSensorSeries();

// The value of DemoSensorSeries()[series] at a minute since 1970: volts of
// 0 ... 10 with a daily swing, a tank that empties over weeks and is filled
// again, room and outdoor temperatures with day and season (a logger's
// tenths), humidity in whole per cent.
double SimulatedValue(size_t series, int64_t minute);

constexpr int kSimulatedChannels = 10;

// The changes of the demo's ten channels on the day starting at dayMs
// (midnight, UTC), in time order: each channel switches on and off twice,
// minutes off its schedule from day to day, and one channel a day changes
// its mode (ein and uhr by turns), as out.N.value and out.N.mode.
std::vector<History::Row> SimulatedChanges(int64_t dayMs);
