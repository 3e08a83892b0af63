#include "bench/EventStream.h"

#include <httplib.h>

#include <chrono>
#include <nlohmann/json.hpp>

#include "bench/BenchSupport.h"

std::vector<SseEvent> SseParser::feed(std::string_view bytes) {
  std::vector<SseEvent> complete;
  for (const char c : bytes) {
    if (c != '\n') {
      line_ += c;
      continue;
    }
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    if (line_.empty()) {
      if (hasData_) {
        if (event_.type.empty()) event_.type = "message";
        complete.push_back(std::move(event_));
      }
      event_ = {};
      hasData_ = false;
    } else if (line_[0] != ':') {
      const size_t colon = line_.find(':');
      const std::string field = line_.substr(0, colon);
      std::string value = colon == std::string::npos ? "" : line_.substr(colon + 1);
      if (!value.empty() && value[0] == ' ') value.erase(0, 1);
      if (field == "event") {
        event_.type = value;
      } else if (field == "data") {
        event_.data += (hasData_ ? "\n" : "") + value;
        hasData_ = true;
      }
    }
    line_.clear();
  }
  return complete;
}

std::optional<StateSeen> ParseState(std::string_view data, int channel) {
  const nlohmann::json j = nlohmann::json::parse(data, nullptr, false);
  if (!j.is_object()) return std::nullopt;
  StateSeen s;
  const auto alive = j.find("alive");
  s.alive = alive != j.end() && alive->is_boolean() && alive->get<bool>();
  const auto outputs = j.find("outputs");
  if (outputs == j.end() || !outputs->is_array()) return s;
  for (const nlohmann::json& o : *outputs) {
    if (!o.is_object()) continue;
    const auto n = o.find("n");
    const auto mode = o.find("mode");
    if (n != o.end() && n->is_number_integer() && n->get<int64_t>() == channel && mode != o.end() &&
        mode->is_string()) {
      s.mode = mode->get<std::string>();
    }
  }
  return s;
}

EventStream::EventStream(uint16_t port, int channel)
    : channel_(channel), client_(std::make_unique<httplib::Client>("127.0.0.1", port)) {
  // Longer than the 10 s between the comments of an idle stream.
  client_->set_read_timeout(std::chrono::seconds(60));
  thread_ = std::thread([this] { run(); });
}

EventStream::~EventStream() {
  // stop() ends a request in flight; the flag one that was not yet sent.
  stopping_ = true;
  client_->stop();
  thread_.join();
}

void EventStream::run() {
  SseParser parser;
  const auto received = [&](const char* data, size_t size) {
    const int64_t now = NowNs();
    for (const SseEvent& e : parser.feed(std::string_view(data, size))) {
      if (e.type != "state") continue;
      std::optional<StateSeen> s = ParseState(e.data, channel_);
      if (!s) continue;
      s->atNs = now;
      std::lock_guard lock(mutex_);
      states_.push_back(std::move(*s));
      arrived_.notify_all();
    }
    return !stopping_;
  };
  client_->Get("/api/events", received);
  std::lock_guard lock(mutex_);
  ended_ = true;
  arrived_.notify_all();
}

std::optional<StateSeen> EventStream::waitFor(const std::function<bool(const StateSeen&)>& want,
                                              int64_t sinceNs, int timeoutMs) {
  std::unique_lock lock(mutex_);
  std::optional<StateSeen> found;
  arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    for (const StateSeen& s : states_) {
      if (s.atNs >= sinceNs && want(s)) {
        found = s;
        return true;
      }
    }
    return ended_;
  });
  // What is before sinceNs is never asked for again.
  std::erase_if(states_, [&](const StateSeen& s) { return s.atNs < sinceNs; });
  return found;
}
