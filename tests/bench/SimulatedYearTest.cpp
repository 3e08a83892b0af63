#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

#include "bench/SimulatedYear.h"

namespace {

constexpr int64_t kYearStartMs = 1767225600000;  // 2026-01-01 00:00 UTC
constexpr int64_t kMinutesPerDay = 1440;

TEST(BenchSimulatedYear, SeriesAreTheDemoInstallationsAsTheRecorderNamesThem) {
  const std::vector<std::string> names = DemoSensorSeries();
  ASSERT_EQ(names.size(), 29u);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 29u);
  const std::pair<size_t, const char*> some[] = {
      {0, "ai.2.1"},       {7, "ai.2.8"},          {8, "tank.3.level"},
      {9, "tank.3.liter"}, {10, "tank.3.percent"}, {11, "klp.4.tmp.0"},
      {19, "klp.4.tmp.8"}, {20, "klp.4.hum.0"},    {28, "klp.4.hum.8"},
  };
  for (const auto& [i, name] : some) EXPECT_EQ(names[i], name);
}

// Every series over a year, every 37 minutes (so the samples fall on every
// time of day): within its sensor's range and at its resolution.
TEST(BenchSimulatedYear, ValuesStayPlausibleAllYear) {
  const std::vector<std::string> names = DemoSensorSeries();
  struct Range {
    const char* prefix;
    double low, high, step;
  };
  const Range ranges[] = {
      {"ai.", 0, 10, 0.001},
      {"tank.3.level", 40, 200, 0.1},
      {"tank.3.liter", 16000, 80000, 1},
      {"tank.3.percent", 16, 80, 1},
      {"klp.4.tmp.1", -8, 24, 0.1},
      {"klp.4.tmp.", 17, 23, 0.1},
      {"klp.4.hum.", 40, 60, 1},
  };
  const int64_t first = kYearStartMs / 60000;
  for (size_t s = 0; s < names.size(); ++s) {
    const Range* r = nullptr;
    for (const Range& range : ranges) {
      if (r == nullptr && names[s].rfind(range.prefix, 0) == 0) r = &range;
    }
    ASSERT_NE(r, nullptr) << names[s];
    double low = 1e9, high = -1e9;
    for (int64_t m = first; m < first + 365 * kMinutesPerDay; m += 37) {
      const double v = SimulatedValue(s, m);
      low = std::min(low, v);
      high = std::max(high, v);
      const double steps = v / r->step;
      ASSERT_NEAR(steps, std::round(steps), 1e-6) << names[s] << " at minute " << m;
    }
    SCOPED_TRACE(names[s]);
    EXPECT_GE(low, r->low);
    EXPECT_LE(high, r->high);
    EXPECT_GT(high - low, 2 * r->step);  // it moves
  }
}

TEST(BenchSimulatedYear, EachChannelSwitchesOnAndOffTwiceADayAndOneChangesItsMode) {
  for (int day = 0; day < 21; ++day) {
    SCOPED_TRACE(day);
    const int64_t dayMs = kYearStartMs + day * 86400000LL;
    const std::vector<History::Row> rows = SimulatedChanges(dayMs);
    std::map<std::string, std::vector<double>> values;
    int modes = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
      EXPECT_GE(rows[i].timeMs, dayMs);
      EXPECT_LT(rows[i].timeMs, dayMs + 86400000LL);
      if (i > 0) {
        EXPECT_LE(rows[i - 1].timeMs, rows[i].timeMs);
      }
      const std::string& name = rows[i].series;
      if (name.ends_with(".value")) values[name].push_back(rows[i].value);
      if (name.ends_with(".mode")) {
        ++modes;
        const int64_t since1970 = dayMs / 86400000LL;
        EXPECT_EQ(name, "out." + std::to_string(since1970 % kSimulatedChannels) + ".mode");
        EXPECT_TRUE(rows[i].value == 1 || rows[i].value == 2);
      }
    }
    EXPECT_EQ(modes, 1);
    ASSERT_EQ(values.size(), static_cast<size_t>(kSimulatedChannels));
    for (const auto& [name, v] : values) EXPECT_EQ(v, (std::vector<double>{1, 0, 1, 0})) << name;
  }
}

}  // namespace
