#include "bench/SimulatedYear.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr int kAnalogInputs = 8;
constexpr int kClimateChannels = 9;
constexpr size_t kTankFirst = kAnalogInputs;
constexpr size_t kClimateFirst = kTankFirst + 3;
constexpr double kTankFullCm = 200.0, kTankEmptyCm = 40.0, kTankHeightCm = 250.0;
constexpr double kLitersPerCm = 400.0;
constexpr int64_t kMinutesPerDay = 1440;
constexpr int64_t kTankCycleMinutes = 45 * kMinutesPerDay;

// A hash of (series, minute) to [-1, 1): noise that needs no state.
double Noise(uint64_t a, uint64_t b) {
  uint64_t x = a * 0x9E3779B97F4A7C15ull + b;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  x ^= x >> 31;
  return static_cast<double>(x >> 11) / static_cast<double>(1ull << 52) - 1.0;
}

// Phases of the day and the year at minute, in radians.
double Day(int64_t minute) {
  return 2 * std::numbers::pi * static_cast<double>(minute % kMinutesPerDay) / kMinutesPerDay;
}
double Season(int64_t minute) {
  return 2 * std::numbers::pi * static_cast<double>(minute % (365 * kMinutesPerDay)) /
         (365.0 * kMinutesPerDay);
}

double Tenths(double v) {
  return std::round(v * 10.0) / 10.0;
}

double TankCm(int64_t minute) {
  const double emptied = static_cast<double>(minute % kTankCycleMinutes) / kTankCycleMinutes;
  return std::round((kTankFullCm - (kTankFullCm - kTankEmptyCm) * emptied) * 10.0) / 10.0;
}

}  // namespace

std::vector<std::string> DemoSensorSeries() {
  std::vector<std::string> names;
  for (int k = 1; k <= kAnalogInputs; ++k) names.push_back("ai.2." + std::to_string(k));
  for (const char* t : {"level", "liter", "percent"}) names.push_back(std::string("tank.3.") + t);
  for (const char* kind : {"tmp", "hum"}) {
    for (int k = 0; k < kClimateChannels; ++k) {
      names.push_back(std::string("klp.4.") + kind + "." + std::to_string(k));
    }
  }
  return names;
}

double SimulatedValue(size_t series, int64_t minute) {
  const double noise = Noise(series, static_cast<uint64_t>(minute));
  if (series < kTankFirst) {
    const double v = 5.0 + 3.0 * std::sin(Day(minute) + static_cast<double>(series)) + 0.05 * noise;
    return std::round(std::clamp(v, 0.0, 10.0) * 1000.0) / 1000.0;
  }
  if (series == kTankFirst) return TankCm(minute);
  if (series == kTankFirst + 1) return std::round(TankCm(minute) * kLitersPerCm);
  if (series == kTankFirst + 2) return std::round(100.0 * TankCm(minute) / kTankHeightCm);
  const size_t k = (series - kClimateFirst) % kClimateChannels;
  if (series < kClimateFirst + kClimateChannels) {
    // Channel 1 is outdoors: -2 ... 18 over the year, 5 degrees of day.
    if (k == 1)
      return Tenths(8.0 - 10.0 * std::cos(Season(minute)) - 5.0 * std::cos(Day(minute)) +
                    0.3 * noise);
    return Tenths(19.0 + 0.3 * static_cast<double>(k) - 1.0 * std::cos(Day(minute)) + 0.2 * noise);
  }
  return std::round(50.0 + 8.0 * std::sin(Day(minute) + static_cast<double>(k)) + 2.0 * noise);
}

std::vector<History::Row> SimulatedChanges(int64_t dayMs) {
  constexpr int64_t kMinuteMs = History::kMinuteMs;
  // On at 6:00 and 17:00, off at 9:00 and 22:00; each channel a few minutes
  // later than the one before, and up to half an hour off from day to day.
  constexpr int64_t kSwitchMinutes[] = {6 * 60, 9 * 60, 17 * 60, 22 * 60};
  const int64_t day = dayMs / History::kDayMs;
  std::vector<History::Row> rows;
  for (int c = 0; c < kSimulatedChannels; ++c) {
    const std::string out = "out." + std::to_string(c);
    for (int s = 0; s < 4; ++s) {
      const double jitter = Noise(static_cast<uint64_t>(c * 4 + s), static_cast<uint64_t>(day));
      const int64_t minute = kSwitchMinutes[s] + 3 * c + static_cast<int64_t>(15 + 15 * jitter);
      rows.push_back({out + ".value", dayMs + minute * kMinuteMs, s % 2 == 0 ? 1.0 : 0.0});
    }
    if (day % kSimulatedChannels == c) {
      rows.push_back({out + ".mode", dayMs + 12 * 60 * kMinuteMs,
                      (day / kSimulatedChannels) % 2 == 0 ? 2.0 : 1.0});
    }
  }
  std::sort(rows.begin(), rows.end(),
            [](const History::Row& a, const History::Row& b) { return a.timeMs < b.timeMs; });
  return rows;
}
