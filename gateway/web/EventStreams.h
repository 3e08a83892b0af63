#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "gateway/web/Http.h"

class Model;

// GET /api/events: the state as Server-Sent Events, one "state" event at
// once and one whenever the state changes, a comment line every kKeepAlive
// while nothing does (which also finds streams whose client has gone). A
// stream holds no thread: it waits suspended until the model changes. The
// cap is per client address, with a total above it, so that one client
// cannot lock out the others.
class EventStreams {
 public:
  static constexpr int kPerClient = 4;
  static constexpr int kTotal = 256;
  static constexpr auto kKeepAlive = std::chrono::seconds(10);

  // REQUIRES: before the model's first update (it listens to the model).
  explicit EventStreams(Model& model);
  ~EventStreams();
  EventStreams(const EventStreams&) = delete;
  EventStreams& operator=(const EventStreams&) = delete;

  void start();
  // Ends every stream.
  void stop();

  // A stream for client whose events carry user (null without login), or
  // 503 when the client or everyone holds as many as allowed.
  HttpAnswer open(uint32_t client, nlohmann::json user);

 private:
  class Stream;
  struct Latest {
    uint64_t version = 0;
    std::shared_ptr<const nlohmann::json> json;
  };
  void wakeAll(bool keepAlive);
  void run();

  std::mutex mutex_;
  std::condition_variable stopped_;
  bool stopping_ = false;
  Latest latest_;
  std::vector<std::weak_ptr<Stream>> streams_;
  std::map<uint32_t, int> perClient_;
  std::thread thread_;
};
