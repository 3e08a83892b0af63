#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include <nlohmann/json.hpp>

#include "gateway/model/State.h"

// The one model of the installation that the gateway's faces read: the
// latest State, its JSON, and a version that goes up whenever the JSON
// changes. Thread-safe; the status watcher writes it, everyone else reads.
class Model {
 public:
  struct Snapshot {
    uint64_t version = 0;
    State state;
    nlohmann::json json;
  };
  using Listener = std::function<void(const Snapshot&)>;

  // Takes state; listeners hear of it (on the caller's thread) only when it
  // differs from the one before.
  void update(State state);

  Snapshot snapshot() const;

  // Called for every change, in order. REQUIRES: before the first update.
  void listen(Listener listener) { listeners_.push_back(std::move(listener)); }

 private:
  mutable std::mutex mutex_;
  Snapshot current_;
  std::vector<Listener> listeners_;
};
