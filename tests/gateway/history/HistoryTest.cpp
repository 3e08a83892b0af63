#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>

#include "gateway/history/History.h"
#include "gateway/history/Recorder.h"
#include "tests/support/TempDir.h"
#include "tools/support/Wait.h"

namespace {

constexpr int64_t kMinute = History::kMinuteMs;
constexpr int64_t kDay = History::kDayMs;
constexpr int64_t kStart = 1'796'000'400'000;  // a whole 15 minutes, in 2026

class HistoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    history = History::Open(dir.path() + "/h.sqlite", &error);
    ASSERT_NE(history, nullptr) << error;
  }
  // Minute samples from..to of value(minute index), in daily batches as the
  // recorder writes them, pruning after each day like a running gateway.
  void record(int64_t from, int64_t to, const std::function<double(int64_t)>& value) {
    std::vector<History::Row> day;
    for (int64_t t = from; t < to; t += kMinute) {
      day.push_back({"klp.4.tmp.0", t, value((t - kStart) / kMinute)});
      if (day.size() == 1440 || t + kMinute >= to) {
        ASSERT_TRUE(history->write(day, {}));
        ASSERT_TRUE(history->prune(t));
        day.clear();
      }
    }
  }
  TempDir dir;
  std::unique_ptr<History> history;
};

TEST_F(HistoryTest, ResolutionFitsTheSpanAndAveragesKeepMinimumAndMaximum) {
  record(kStart, kStart + 30 * kDay, [](int64_t m) { return (m % 15) * 0.5; });  // 0 ... 7 in each bucket
  const int64_t end = kStart + 30 * kDay;
  struct Row {
    int64_t span, step;
    size_t points;
  };
  const Row rows[] = {
      {kDay, kMinute, 1441},                        // a day: every sample (both ends included)
      {7 * kDay, 15 * kMinute, 673},                // a week: 15-minute averages
      {30 * kDay, 30 * kMinute, 1441},              // a month: two buckets a point
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.span / kDay);
    const auto p = history->query("klp.4.tmp.0", end - r.span, end);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->stepMs, r.step);
    EXPECT_LE(p->points.size(), r.points);
    EXPECT_GE(p->points.size(), r.points - 2);
    if (r.step > kMinute) {
      EXPECT_DOUBLE_EQ(p->points[1].second, 3.5);
      EXPECT_EQ(p->ranges[1], std::make_pair(0.0, 7.0));
    }
  }
  EXPECT_FALSE(history->query("klp.4.tmp.1", kStart, end));
}

TEST_F(HistoryTest, MinuteSamplesGoAfterTwoWeeksAveragesAndChangesAfterFiveYears) {
  record(kStart, kStart + 16 * kDay, [](int64_t) { return 21.5; });
  ASSERT_TRUE(history->write({}, {{"out.3.value", kStart + kMinute, 1}}));
  // The first day's minutes are gone; its averages stay.
  auto p = history->query("klp.4.tmp.0", kStart, kStart + kDay / 2);
  ASSERT_TRUE(p);
  EXPECT_TRUE(p->points.empty());
  p = history->query("klp.4.tmp.0", kStart, kStart + 3 * kDay);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->points.front(), std::make_pair(kStart, 21.5));

  ASSERT_TRUE(history->prune(kStart + History::kLongKeptMs + 3 * kDay + 15 * kMinute));
  EXPECT_TRUE(history->query("klp.4.tmp.0", kStart, kStart + 3 * kDay)->points.empty());
  EXPECT_TRUE(history->query("out.3.value", kStart, kStart + kDay)->points.empty());
}

TEST_F(HistoryTest, ChangesComeWithTheStateAtTheStart) {
  ASSERT_TRUE(history->write({}, {{"out.3.value", kStart, 1}, {"out.3.value", kStart + 5 * kMinute, 0},
                                  {"out.3.value", kStart + 9 * kMinute, 1}}));
  const auto p = history->query("out.3.value", kStart + 6 * kMinute, kStart + kDay);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->stepMs, 0);
  EXPECT_EQ(p->points, (std::vector<std::pair<int64_t, double>>{{kStart + 5 * kMinute, 0},
                                                                 {kStart + 9 * kMinute, 1}}));
  EXPECT_EQ(history->series(), std::vector<std::string>{"out.3.value"});
}

TEST_F(HistoryTest, AYearOfSamplesAnswersAWeekAndTheYearWithinAFewThousandPoints) {
  // Each day's value is its number: the year's averages must follow it.
  record(kStart, kStart + 365 * kDay, [](int64_t m) { return static_cast<double>(m / 1440); });
  const int64_t end = kStart + 365 * kDay;
  const auto week = history->query("klp.4.tmp.0", end - 7 * kDay, end);
  ASSERT_TRUE(week);
  EXPECT_EQ(week->stepMs, 15 * kMinute);
  EXPECT_DOUBLE_EQ(week->points.back().second, 364);
  const auto year = history->query("klp.4.tmp.0", kStart, end);
  ASSERT_TRUE(year);
  EXPECT_LE(year->points.size(), 2000u);
  EXPECT_GT(year->points.size(), 1500u);
  EXPECT_DOUBLE_EQ(year->points.front().second, 0);
  EXPECT_NEAR(year->points[year->points.size() / 2].second, 182, 1);
}

TEST_F(HistoryTest, ReopeningKeepsTheDataAndAnotherSchemaVersionIsRefused) {
  ASSERT_TRUE(history->write({{"ai.2.1", kStart, 12.345}}, {}));
  history.reset();
  std::string error;
  history = History::Open(dir.path() + "/h.sqlite", &error);
  ASSERT_NE(history, nullptr) << error;
  EXPECT_EQ(history->query("ai.2.1", kStart, kStart + kMinute)->points.front().second, 12.345);
  history.reset();
  // As a later program would leave it.
  ASSERT_EQ(std::system(("sqlite3 '" + dir.path() + "/h.sqlite' 'PRAGMA user_version = 2'").c_str()), 0);
  EXPECT_EQ(History::Open(dir.path() + "/h.sqlite", &error), nullptr);
  EXPECT_NE(error.find("schema version 2"), std::string::npos) << error;
}

TEST(Recorder, ChangesAreTakenOnFirstSightAndWhenTheyHappenSamplesOnlyFromValidDevices) {
  State s;
  s.outputs.push_back({3, "Pumpe", "", "uhr", true, true, 0, true, " "});
  s.ai.push_back({2, true, {1.5}});
  s.tank.push_back({5, false, "00ab", 1, 2, 3, 4});
  s.klp.push_back({4, true, "", {21.5, std::nullopt}, {}});
  std::map<int, std::pair<bool, std::string>> seen;
  std::vector<History::Row> samples, changes;
  Recorder::Take(s, 1000, true, seen, samples, changes);
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].series, "out.3.value");
  EXPECT_EQ(changes[1].series, "out.3.mode");
  EXPECT_EQ(changes[1].value, 2);
  ASSERT_EQ(samples.size(), 9u) << "eight inputs and the one temperature the logger has";
  EXPECT_EQ(samples[0].series, "ai.2.1");
  EXPECT_EQ(samples[8].series, "klp.4.tmp.0");

  changes.clear();
  Recorder::Take(s, 2000, false, seen, samples, changes);
  EXPECT_TRUE(changes.empty());
  s.outputs[0].mode = "ein";
  Recorder::Take(s, 3000, false, seen, samples, changes);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].series, "out.3.mode");
  EXPECT_EQ(changes[0].value, 1);
}

// The recorder's own thread takes the samples when its clock passes a minute.
TEST_F(HistoryTest, TheRecorderSamplesTheLatestStateWhenAMinuteBegins) {
  Model model;
  std::atomic<int64_t> now{kStart - 1};
  std::atomic<int> reads{0};
  Recorder recorder(*history, model, std::chrono::milliseconds(1), [&] {
    ++reads;
    return now.load();
  });
  recorder.start();
  State s;
  s.alive = true;
  s.ai.push_back({2, true, {1.5, 0.25}});
  model.update(s);
  // Once the thread waits for the minute to begin, it begins.
  ASSERT_TRUE(WaitUntil([&] { return reads >= 2; }));
  now = kStart + 5000;
  EXPECT_TRUE(WaitUntil([&] {
    const auto points = history->query("ai.2.2", kStart - kMinute, kStart + kMinute);
    return points && points->points == std::vector<std::pair<int64_t, double>>{{kStart, 0.25}};
  }));
  recorder.stop();
}

}  // namespace
