#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace httplib {
class Client;
}

// One Server-Sent Event: its type ("message" when it names none) and its
// data lines joined by line feeds.
struct SseEvent {
  std::string type;
  std::string data;
};

// The events of a text/event-stream in pieces as they arrive: an event is
// complete at its blank line; comments and events without data are dropped.
class SseParser {
 public:
  std::vector<SseEvent> feed(std::string_view bytes);

 private:
  std::string line_;
  SseEvent event_;
  bool hasData_ = false;
};

// What the benchmark reads of a gateway state: whether the server is seen
// running, and one channel's mode ("" when the state has no such channel).
struct StateSeen {
  int64_t atNs = 0;  // when its event was complete, on NowNs's clock
  bool alive = false;
  std::string mode;
};

// Nothing when data is not a JSON object.
std::optional<StateSeen> ParseState(std::string_view data, int channel);

// /api/events of a gateway on a loopback port, read on a thread of its own
// for as long as the object lives; every state event is kept with the time
// it was complete.
class EventStream {
 public:
  EventStream(uint16_t port, int channel);
  ~EventStream();
  EventStream(const EventStream&) = delete;
  EventStream& operator=(const EventStream&) = delete;

  // The first state completed at or after sinceNs that satisfies want,
  // waiting at most timeoutMs for it.
  std::optional<StateSeen> waitFor(const std::function<bool(const StateSeen&)>& want,
                                   int64_t sinceNs, int timeoutMs);

 private:
  void run();

  int channel_;
  std::unique_ptr<httplib::Client> client_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<StateSeen> states_;
  bool ended_ = false;
  std::atomic<bool> stopping_{false};  // the stream ends at its next bytes
  std::thread thread_;
};
