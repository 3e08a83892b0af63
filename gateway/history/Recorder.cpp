#include "gateway/history/Recorder.h"

#include <set>

#include "platform/Clock.h"
#include "protocol/ChannelMode.h"

namespace {

using namespace std::chrono_literals;

// The mode's number, as the server keeps it; 0 (aus) for none.
double modeNumber(const std::string& mode) {
  const std::optional<ChannelMode> m = ParseChannelMode(mode);
  return m ? static_cast<double>(static_cast<int32_t>(*m)) : 0;
}

}  // namespace

Recorder::Recorder(History& history, Model& model, std::chrono::milliseconds batch, WallClock now)
    : history_(history), batch_(batch), now_(now ? std::move(now) : SystemClock::nowMs) {
  model.listen([this](const Model::Snapshot& s) { state(s); });
}

Recorder::~Recorder() { stop(); }

void Recorder::start() { thread_ = std::thread([this] { run(); }); }

void Recorder::stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
  flush();
}

void Recorder::Take(const State& s, int64_t nowMs, bool sample,
                    std::map<int, std::pair<bool, std::string>>& seen,
                    std::vector<History::Row>& samples, std::vector<History::Row>& changes) {
  for (const OutputState& o : s.outputs) {
    const std::string out = "out." + std::to_string(o.n);
    const auto it = seen.find(o.n);
    if (it == seen.end() || it->second.first != o.value) changes.push_back({out + ".value", nowMs, o.value ? 1.0 : 0.0});
    if (it == seen.end() || it->second.second != o.mode) changes.push_back({out + ".mode", nowMs, modeNumber(o.mode)});
    seen[o.n] = {o.value, o.mode};
  }
  if (!sample) return;
  for (const AnalogInputs& a : s.ai) {
    if (!a.valid || a.dev < 0) continue;
    for (size_t k = 0; k < a.ch.size(); ++k) {
      samples.push_back({"ai." + std::to_string(a.dev) + "." + std::to_string(k + 1), nowMs, a.ch[k]});
    }
  }
  for (const TankLevel& t : s.tank) {
    if (!t.valid || t.dev < 0) continue;
    const std::string tank = "tank." + std::to_string(t.dev);
    samples.push_back({tank + ".level", nowMs, t.level});
    samples.push_back({tank + ".liter", nowMs, t.liter});
    samples.push_back({tank + ".percent", nowMs, t.percent});
  }
  for (const ClimateValues& c : s.klp) {
    if (!c.valid || c.dev < 0) continue;
    const std::string klp = "klp." + std::to_string(c.dev);
    for (size_t k = 0; k < c.tmp.size(); ++k) {
      if (c.tmp[k]) samples.push_back({klp + ".tmp." + std::to_string(k), nowMs, *c.tmp[k]});
    }
    for (size_t k = 0; k < c.hum.size(); ++k) {
      if (c.hum[k]) samples.push_back({klp + ".hum." + std::to_string(k), nowMs, *c.hum[k]});
    }
  }
}

void Recorder::state(const Model::Snapshot& snapshot) {
  std::lock_guard lock(mutex_);
  latest_ = snapshot.state;
  // Files of a stopped server show what was, not what happens.
  if (latest_.alive) Take(latest_, now_(), false, seen_, samples_, changes_);
}

void Recorder::run() {
  int64_t lastFlush = now_();
  int64_t lastPrune = 0;
  std::unique_lock lock(mutex_);
  for (;;) {
    const int64_t now = now_();
    const int64_t nextMinute = (now / History::kMinuteMs + 1) * History::kMinuteMs;
    const int64_t nextFlush = lastFlush + batch_.count();
    const int64_t until = std::min(nextMinute, nextFlush);
    if (wake_.wait_for(lock, std::chrono::milliseconds(std::max<int64_t>(until - now, 1)),
                       [&] { return stopping_; })) {
      return;
    }
    const int64_t t = now_();
    if (t >= nextMinute && latest_.alive) {
      Take(latest_, t / History::kMinuteMs * History::kMinuteMs, true, seen_, samples_, changes_);
    }
    if (t >= nextFlush) {
      lock.unlock();
      flush();
      if (t - lastPrune >= 60 * History::kMinuteMs) {
        history_.prune(t);
        lastPrune = t;
      }
      lock.lock();
      lastFlush = t;
    }
  }
}

std::optional<History::Points> Recorder::query(const std::string& series, int64_t fromMs, int64_t toMs,
                                               size_t maxPoints) {
  std::lock_guard flushing(flushMutex_);
  std::vector<History::Row> waiting;
  bool change = false;
  {
    std::lock_guard lock(mutex_);
    for (const History::Row& r : changes_) {
      if (r.series == series) waiting.push_back(r);
    }
    change = !waiting.empty();
    for (const History::Row& r : samples_) {
      if (!change && r.series == series) waiting.push_back(r);
    }
  }
  std::optional<History::Points> p = history_.query(series, fromMs, toMs, maxPoints);
  if (waiting.empty()) return p;
  if (!p) {
    p.emplace();
    p->series = series;
    p->stepMs = change ? 0 : History::kMinuteMs;
  }
  if (change) {
    // The state at the start is the last change before it, waiting or not.
    for (const History::Row& r : waiting) {
      if (r.timeMs >= fromMs) continue;
      if (!p->points.empty() && p->points.front().first < fromMs) p->points.erase(p->points.begin());
      p->points.insert(p->points.begin(), {r.timeMs, r.value});
    }
  } else if (p->stepMs != History::kMinuteMs) {
    return p;  // averages: a minute that waits changes them too little to show
  }
  for (const History::Row& r : waiting) {
    if (r.timeMs < fromMs || r.timeMs > toMs) continue;
    const size_t inSpan = p->points.size() - (!p->points.empty() && p->points.front().first < fromMs ? 1 : 0);
    if (change && inSpan >= maxPoints) {
      p->tooMany = true;
      break;
    }
    p->points.push_back({r.timeMs, r.value});
  }
  return p;
}

std::vector<std::string> Recorder::series() {
  std::lock_guard flushing(flushMutex_);
  std::set<std::string> names;
  {
    std::lock_guard lock(mutex_);
    for (const auto* rows : {&samples_, &changes_}) {
      for (const History::Row& r : *rows) names.insert(r.series);
    }
  }
  for (std::string& name : history_.series()) names.insert(std::move(name));
  return {names.begin(), names.end()};
}

void Recorder::flush() {
  std::lock_guard flushing(flushMutex_);
  std::vector<History::Row> samples, changes;
  {
    std::lock_guard lock(mutex_);
    samples.swap(samples_);
    changes.swap(changes_);
  }
  if (!samples.empty() || !changes.empty()) history_.write(samples, changes);
}
