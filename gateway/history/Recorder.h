#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "gateway/history/History.h"
#include "gateway/model/Model.h"

// Feeds the history from the model: every change of a channel's output
// value (out.N.value, 0/1) and mode (out.N.mode: aus 0, ein 1, uhr 2, slave
// 3) when the gateway sees it, and once a minute a sample of every sensor
// value whose device is valid (ai.D.K, tank.D.level/liter/percent,
// klp.D.tmp.K, klp.D.hum.K) while the server runs. Nothing is made up for a
// gap. Rows are written in batches, so the disk is not hit every second; a
// crash loses at most the last batch.
class Recorder {
 public:
  using WallClock = std::function<int64_t()>;  // unix milliseconds

  Recorder(History& history, Model& model, std::chrono::milliseconds batch,
           WallClock now = nullptr);
  ~Recorder();  // writes what is left
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  void start();
  void stop();

  // The history's points of the series (History::query), with the rows
  // still waiting for their batch, so that a change shows at once.
  std::optional<History::Points> query(const std::string& series, int64_t fromMs, int64_t toMs,
                                       size_t maxPoints);
  // Every series recorded or waiting to be, by name.
  std::vector<std::string> series();

  // The rows of one state as the recorder takes them, for tests: the
  // changes against the channels seen before (updated), and when sample is
  // true the sensor samples at nowMs.
  static void Take(const State& state, int64_t nowMs, bool sample,
                   std::map<int, std::pair<bool, std::string>>& seen,
                   std::vector<History::Row>& samples, std::vector<History::Row>& changes);

 private:
  void state(const Model::Snapshot& snapshot);
  void run();
  void flush();

  History& history_;
  std::chrono::milliseconds batch_;
  WallClock now_;

  // Held while a batch goes to the disk and while a query reads, so that a
  // query sees each row once: waiting or written.
  std::mutex flushMutex_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  State latest_;
  std::map<int, std::pair<bool, std::string>> seen_;  // channel: value, mode
  std::vector<History::Row> samples_, changes_;
  std::thread thread_;
};
