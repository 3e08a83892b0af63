#include "bench/HistoryMeasurements.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>

#include "bench/BenchSupport.h"
#include "bench/Installation.h"
#include "bench/SimulatedYear.h"

namespace {

constexpr int64_t kHourMs = 60 * History::kMinuteMs;
// 2026-01-01 00:00 UTC: a year that starts on a whole day.
constexpr int64_t kYearStartMs = 1767225600000;

int64_t ThreadCpuNs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}

std::unique_ptr<History> OpenHistory(const std::string& file) {
  std::string error;
  std::unique_ptr<History> h = History::Open(file, &error);
  if (!h) Fail("history: " + error);
  return h;
}

void Write(History& h, const std::vector<History::Row>& samples,
           const std::vector<History::Row>& changes) {
  if (!h.write(samples, changes)) Fail("history: a write failed");
}

// Every series' sample of each minute in [fromMs, toMs).
std::vector<History::Row> Samples(const std::vector<std::string>& series, int64_t fromMs,
                                  int64_t toMs) {
  std::vector<History::Row> rows;
  for (int64_t t = fromMs; t < toMs; t += History::kMinuteMs) {
    for (size_t s = 0; s < series.size(); ++s) {
      rows.push_back({series[s], t, SimulatedValue(s, t / History::kMinuteMs)});
    }
  }
  return rows;
}

void Build(History& h, const std::vector<std::string>& series, HistoryFigures* f) {
  const int64_t start = NowNs();
  for (int d = 0; d < kHistoryDays; ++d) {
    const int64_t dayMs = kYearStartMs + d * History::kDayMs;
    const std::vector<History::Row> changes = SimulatedChanges(dayMs);
    auto next = changes.begin();
    for (int64_t hourMs = dayMs; hourMs < dayMs + History::kDayMs; hourMs += kHourMs) {
      const std::vector<History::Row> samples = Samples(series, hourMs, hourMs + kHourMs);
      const auto end = std::find_if(
          next, changes.end(), [&](const History::Row& r) { return r.timeMs >= hourMs + kHourMs; });
      Write(h, samples, std::vector<History::Row>(next, end));
      f->samplesWritten += static_cast<int64_t>(samples.size());
      f->changesWritten += end - next;
      next = end;
    }
    if (!h.prune(dayMs + History::kDayMs)) Fail("history: prune failed");
    if ((d + 1) % 73 == 0) std::fprintf(stderr, "history: %d days written\n", d + 1);
  }
  f->buildSeconds = static_cast<double>(NowNs() - start) / 1e9;
}

// One minute at a time after the year, as the recorder writes with its
// default batch of a minute; the means, wall and CPU.
void WriteMinutes(History& h, const std::vector<std::string>& series, HistoryFigures* f) {
  const int64_t yearEndMs = kYearStartMs + kHistoryDays * History::kDayMs;
  int64_t wallNs = 0, cpuNs = 0;
  for (int m = 0; m < kMinuteWrites; ++m) {
    const int64_t t = yearEndMs + m * History::kMinuteMs;
    const std::vector<History::Row> samples = Samples(series, t, t + History::kMinuteMs);
    const int64_t wall = NowNs();
    const int64_t cpu = ThreadCpuNs();
    Write(h, samples, {});
    cpuNs += ThreadCpuNs() - cpu;
    wallNs += NowNs() - wall;
  }
  f->minuteWriteMs = static_cast<double>(wallNs) / 1e6 / kMinuteWrites;
  f->minuteWriteCpuMs = static_cast<double>(cpuNs) / 1e6 / kMinuteWrites;
}

int64_t Count(sqlite3* db, const char* table) {
  sqlite3_stmt* s = nullptr;
  const std::string sql = std::string("SELECT count(*) FROM ") + table;
  int64_t n = -1;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK &&
      sqlite3_step(s) == SQLITE_ROW) {
    n = sqlite3_column_int64(s, 0);
  }
  sqlite3_finalize(s);
  return n;
}

uintmax_t SizeOf(const std::string& path) {
  std::error_code missing;
  const uintmax_t size = std::filesystem::file_size(path, missing);
  return missing ? 0 : size;
}

// On a second connection, as the sqlite3 tool would: the WAL folded into
// the file, then the file's size and what it holds.
void Checkpoint(const std::string& file, HistoryFigures* f) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
      sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr) != SQLITE_OK) {
    Fail("history: checkpoint failed: " + std::string(sqlite3_errmsg(db)));
  }
  f->fileMiB = static_cast<double>(SizeOf(file) + SizeOf(file + "-wal")) / (1024.0 * 1024.0);
  f->samplesKept = Count(db, "sample");
  f->rollupsKept = Count(db, "rollup");
  f->changesKept = Count(db, "change");
  sqlite3_close(db);
}

// Out of the page cache, so that the next read comes from the disk; does
// nothing on tmpfs.
void DropFromPageCache(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  fdatasync(fd);
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  close(fd);
}

double QueryMs(History& h, int64_t fromMs, int64_t toMs, size_t* points) {
  const int64_t start = NowNs();
  const std::optional<History::Points> p = h.query(kQueriedSeries, fromMs, toMs);
  const double ms = static_cast<double>(NowNs() - start) / 1e6;
  if (!p || p->points.empty()) Fail(std::string("history: no points of ") + kQueriedSeries);
  *points = p->points.size();
  return ms;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[(v.size() - 1) / 2];
}

// The cold and warm medians of a query of [toMs - spanMs, toMs].
void TimeQuery(std::unique_ptr<History>& h, const std::string& file, int64_t spanMs, int64_t toMs,
               size_t* points, double* coldMs, double* warmMs) {
  std::vector<double> cold, warm;
  for (int i = 0; i < kQueryRuns; ++i) {
    h.reset();
    DropFromPageCache(file);
    DropFromPageCache(file + "-wal");
    h = OpenHistory(file);
    cold.push_back(QueryMs(*h, toMs - spanMs, toMs, points));
  }
  for (int i = 0; i < kQueryRuns; ++i) warm.push_back(QueryMs(*h, toMs - spanMs, toMs, points));
  *coldMs = Median(cold);
  *warmMs = Median(warm);
}

}  // namespace

HistoryFigures MeasureHistory(const Options& o, const std::string& base) {
  HistoryFigures f;
  f.measured = true;
  const TempDirectory dir(base, "tessaro_bench_history", o.keep);
  f.file = dir.path() + "/tessaro-history.sqlite";
  f.type = FileSystemOf(dir.path());
  const std::vector<std::string> series = DemoSensorSeries();
  f.series = static_cast<int>(series.size());
  f.days = kHistoryDays;
  std::fprintf(stderr, "history: writing %d days of %d series into %s...\n", f.days, f.series,
               f.file.c_str());
  std::unique_ptr<History> h = OpenHistory(f.file);
  Build(*h, series, &f);
  WriteMinutes(*h, series, &f);
  Checkpoint(f.file, &f);
  const int64_t endMs = kYearStartMs + kHistoryDays * History::kDayMs;
  TimeQuery(h, f.file, 7 * History::kDayMs, endMs, &f.weekPoints, &f.weekColdMs, &f.weekWarmMs);
  TimeQuery(h, f.file, kHistoryDays * History::kDayMs, endMs, &f.yearPoints, &f.yearColdMs,
            &f.yearWarmMs);
  std::fprintf(stderr, "history done\n");
  return f;
}
