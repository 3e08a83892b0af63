#include "gateway/history/History.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

namespace {

constexpr const char* kSchema =
    "CREATE TABLE series(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE,"
    "  change INTEGER NOT NULL);"
    // Minute samples: t in minutes since 1970, v in thousandths.
    "CREATE TABLE sample(series INTEGER NOT NULL, t INTEGER NOT NULL, v INTEGER NOT NULL,"
    "  PRIMARY KEY(series, t)) WITHOUT ROWID;"
    // 15-minute buckets: b in buckets since 1970; sum, min, max in thousandths.
    "CREATE TABLE rollup(series INTEGER NOT NULL, b INTEGER NOT NULL, n INTEGER NOT NULL,"
    "  sum INTEGER NOT NULL, min INTEGER NOT NULL, max INTEGER NOT NULL,"
    "  PRIMARY KEY(series, b)) WITHOUT ROWID;"
    // Changes: t in milliseconds.
    "CREATE TABLE change(series INTEGER NOT NULL, t INTEGER NOT NULL, v INTEGER NOT NULL);"
    "CREATE INDEX change_by_time ON change(series, t);"
    "PRAGMA user_version = 1;";

int64_t milli(double v) { return std::llround(v * 1000.0); }
double unmilli(int64_t v) { return static_cast<double>(v) / 1000.0; }

// One prepared statement, finalised when it goes.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &s_, nullptr); }
  ~Statement() { sqlite3_finalize(s_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return s_ != nullptr; }
  Statement& bind(int i, int64_t v) {
    sqlite3_bind_int64(s_, i, v);
    return *this;
  }
  Statement& bind(int i, const std::string& v) {
    sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  // True while a row is there; false at the end or on an error.
  bool step() { return s_ != nullptr && sqlite3_step(s_) == SQLITE_ROW; }
  // Runs a statement that returns no rows; true when it succeeded.
  bool run() {
    const int rc = s_ != nullptr ? sqlite3_step(s_) : SQLITE_ERROR;
    sqlite3_reset(s_);
    return rc == SQLITE_DONE;
  }
  int64_t integer(int column) const { return sqlite3_column_int64(s_, column); }
  double real(int column) const { return sqlite3_column_double(s_, column); }
  std::string text(int column) const {
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s_, column));
    return t != nullptr ? t : "";
  }

 private:
  sqlite3_stmt* s_ = nullptr;
};

}  // namespace

std::unique_ptr<History> History::Open(const std::string& path, std::string* error) {
  // What the house did is nobody else's business: a new file is made
  // owner-only here, and SQLite gives its -wal and -shm files the file's mode.
  const int made = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (made >= 0) ::close(made);
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    *error = path + ": " + (db != nullptr ? sqlite3_errmsg(db) : "cannot be opened");
    sqlite3_close(db);
    return nullptr;
  }
  std::unique_ptr<History> h(new History(db));
  sqlite3_busy_timeout(db, 5000);  // a reader such as the sqlite3 tool may hold it a moment
  // WAL with NORMAL: a power cut may lose the last transactions, never the file.
  if (!h->exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;")) {
    *error = path + ": " + sqlite3_errmsg(db);
    return nullptr;
  }
  Statement version(db, "PRAGMA user_version");
  const int64_t found = version.step() ? version.integer(0) : -1;
  if (found == 0) {
    if (!h->exec("BEGIN") || !h->exec(kSchema) || !h->exec("COMMIT")) {
      *error = path + ": " + sqlite3_errmsg(db);
      return nullptr;
    }
  } else if (found != kSchemaVersion) {
    *error = path + ": schema version " + std::to_string(found) + ", this program knows " +
             std::to_string(kSchemaVersion);
    return nullptr;
  }
  return h;
}

History::~History() { sqlite3_close(db_); }

bool History::exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

int64_t History::seriesId(const std::string& name, bool create, bool* isChange) {
  Statement find(db_, "SELECT id, change FROM series WHERE name = ?");
  if (find.bind(1, name).step()) {
    if (isChange != nullptr) *isChange = find.integer(1) != 0;
    return find.integer(0);
  }
  if (!create) return -1;
  Statement add(db_, "INSERT INTO series(name, change) VALUES(?, ?)");
  if (!add.bind(1, name).bind(2, int64_t{*isChange ? 1 : 0}).run()) return -1;
  return sqlite3_last_insert_rowid(db_);
}

bool History::write(const std::vector<Row>& samples, const std::vector<Row>& changes) {
  std::lock_guard lock(mutex_);
  if (!exec("BEGIN")) return false;
  bool ok = true;
  std::map<std::string, int64_t> ids;
  auto idOf = [&](const std::string& name, bool change) {
    const auto it = ids.find(name);
    if (it != ids.end()) return it->second;
    return ids[name] = seriesId(name, true, &change);
  };
  Statement sample(db_, "INSERT OR REPLACE INTO sample(series, t, v) VALUES(?, ?, ?)");
  std::set<std::pair<int64_t, int64_t>> buckets;
  for (const Row& r : samples) {
    const int64_t id = idOf(r.series, false);
    const int64_t minute = r.timeMs / kMinuteMs;
    ok = ok && id >= 0 && sample.bind(1, id).bind(2, minute).bind(3, milli(r.value)).run();
    buckets.insert({id, minute / 15});
  }
  Statement change(db_, "INSERT INTO change(series, t, v) VALUES(?, ?, ?)");
  for (const Row& r : changes) {
    const int64_t id = idOf(r.series, true);
    ok = ok && id >= 0 && change.bind(1, id).bind(2, r.timeMs).bind(3, milli(r.value)).run();
  }
  // Recomputed from the samples, so a bucket written in several batches
  // comes out the same as one written at once.
  Statement rollup(db_,
                   "INSERT OR REPLACE INTO rollup(series, b, n, sum, min, max) "
                   "SELECT series, ?2, count(*), sum(v), min(v), max(v) FROM sample "
                   "WHERE series = ?1 AND t >= ?2 * 15 AND t < (?2 + 1) * 15 GROUP BY series");
  for (const auto& [id, bucket] : buckets) ok = ok && rollup.bind(1, id).bind(2, bucket).run();
  if (!ok) {
    exec("ROLLBACK");
    return false;
  }
  return exec("COMMIT");
}

bool History::prune(int64_t nowMs) {
  std::lock_guard lock(mutex_);
  Statement samples(db_, "DELETE FROM sample WHERE t < ?");
  Statement rollups(db_, "DELETE FROM rollup WHERE b < ?");
  Statement changes(db_, "DELETE FROM change WHERE t < ?");
  return samples.bind(1, (nowMs - kSamplesKeptMs) / kMinuteMs).run() &&
         rollups.bind(1, (nowMs - kLongKeptMs) / kBucketMs).run() &&
         changes.bind(1, nowMs - kLongKeptMs).run();
}

std::optional<History::Points> History::query(const std::string& name, int64_t fromMs, int64_t toMs,
                                              size_t maxPoints) {
  std::lock_guard lock(mutex_);
  bool isChange = false;
  const int64_t id = seriesId(name, false, &isChange);
  if (id < 0) return std::nullopt;
  Points p;
  p.series = name;
  if (isChange) {
    Statement before(db_, "SELECT t, v FROM change WHERE series = ? AND t < ? ORDER BY t DESC LIMIT 1");
    if (before.bind(1, id).bind(2, fromMs).step()) p.points.push_back({before.integer(0), unmilli(before.integer(1))});
    Statement in(db_, "SELECT t, v FROM change WHERE series = ? AND t >= ? AND t <= ? ORDER BY t, rowid LIMIT ?");
    in.bind(1, id).bind(2, fromMs).bind(3, toMs).bind(4, static_cast<int64_t>(maxPoints) + 1);
    size_t inSpan = 0;
    for (; inSpan < maxPoints && in.step(); ++inSpan) p.points.push_back({in.integer(0), unmilli(in.integer(1))});
    p.tooMany = inSpan == maxPoints && in.step();
    return p;
  }
  const int64_t span = std::max<int64_t>(toMs - fromMs, 1);
  const size_t most = std::max<size_t>(maxPoints, 1);
  if (static_cast<size_t>(span / kMinuteMs) <= most) {
    p.stepMs = kMinuteMs;
    Statement s(db_, "SELECT t, v FROM sample WHERE series = ? AND t >= ? AND t <= ? ORDER BY t");
    s.bind(1, id).bind(2, (fromMs + kMinuteMs - 1) / kMinuteMs).bind(3, toMs / kMinuteMs);
    while (s.step()) p.points.push_back({s.integer(0) * kMinuteMs, unmilli(s.integer(1))});
    return p;
  }
  // Buckets per point: as few as keep the count at most maxPoints.
  const int64_t per = std::max<int64_t>(1, (span / kBucketMs + static_cast<int64_t>(most) - 1) /
                                               static_cast<int64_t>(most));
  p.stepMs = per * kBucketMs;
  Statement s(db_,
              "SELECT b / ?4 * ?4, sum(sum), sum(n), min(min), max(max) FROM rollup "
              "WHERE series = ?1 AND b >= ?2 AND b <= ?3 GROUP BY b / ?4 ORDER BY 1");
  s.bind(1, id).bind(2, fromMs / kBucketMs).bind(3, toMs / kBucketMs).bind(4, per);
  while (s.step()) {
    p.points.push_back({s.integer(0) * kBucketMs, s.real(1) / static_cast<double>(s.integer(2)) / 1000.0});
    p.ranges.push_back({unmilli(s.integer(3)), unmilli(s.integer(4))});
  }
  return p;
}

std::vector<std::string> History::series() {
  std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  Statement s(db_, "SELECT name FROM series ORDER BY name");
  while (s.step()) names.push_back(s.text(0));
  return names;
}
