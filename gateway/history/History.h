#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;

// What the installation did, in SQLite: sensor samples at minute resolution
// for 14 days and as 15-minute averages with minimum and maximum for five
// years, and every change of a channel's output value and mode for five
// years. Values are kept as integers of thousandths (every value the status
// files hold has at most three decimals), times as unix milliseconds in the
// interface. The file is in WAL mode, so a crash or a power cut loses at most
// the last write and never the file; its schema has a version
// (PRAGMA user_version) for later programs to migrate from. Thread-safe: the
// recorder writes while the web face queries.
class History {
 public:
  static constexpr int kSchemaVersion = 1;
  static constexpr int64_t kMinuteMs = 60'000;
  static constexpr int64_t kBucketMs = 15 * kMinuteMs;
  static constexpr int64_t kDayMs = 24 * 60 * kMinuteMs;
  static constexpr int64_t kSamplesKeptMs = 14 * kDayMs;
  static constexpr int64_t kLongKeptMs = 1826 * kDayMs;  // five years
  static constexpr int64_t kLatestMs = 253402300799999;  // 9999-12-31 23:59:59.999

  struct Row {
    std::string series;  // "ai.2.1", "out.3.value", ...
    int64_t timeMs = 0;
    double value = 0;
  };

  struct Points {
    std::string series;
    int64_t stepMs = 0;  // 0: changes as recorded; else the resolution
    std::vector<std::pair<int64_t, double>> points;
    // With averages (a step of 15 minutes or more): each point's minimum and
    // maximum.
    std::vector<std::pair<double, double>> ranges;
    // A change series with more than maxPoints changes in the span: points
    // holds only the first of them.
    bool tooMany = false;
  };

  // Opens the database at path, creating or migrating it; nothing, with
  // *error, when it cannot be used.
  static std::unique_ptr<History> Open(const std::string& path, std::string* error);
  ~History();
  History(const History&) = delete;
  History& operator=(const History&) = delete;

  // One transaction: samples (each taken at its minute) and changes. The
  // 15-minute averages of the samples' buckets are brought up to date.
  bool write(const std::vector<Row>& samples, const std::vector<Row>& changes);

  // Deletes what is past its time at nowMs.
  bool prune(int64_t nowMs);

  // The series' points in [fromMs, toMs], at most about maxPoints of them:
  // a change series gives its changes (and the last one before fromMs, the
  // state at the start), up to maxPoints; a sample series its minute samples
  // when they fit, else 15-minute averages, else averages over as many
  // buckets as needed. Nothing for a series that was never recorded.
  // REQUIRES: 0 <= fromMs <= toMs <= kLatestMs.
  std::optional<Points> query(const std::string& series, int64_t fromMs, int64_t toMs,
                              size_t maxPoints = 2000);

  // Every series recorded, by name.
  std::vector<std::string> series();

 private:
  explicit History(sqlite3* db) : db_(db) {}
  bool exec(const char* sql);
  // The series' id, created when create is true; -1 when there is none.
  int64_t seriesId(const std::string& name, bool create, bool* isChange);

  std::mutex mutex_;  // one call at a time, so a transaction is never shared
  sqlite3* db_;
};
