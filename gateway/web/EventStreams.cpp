#include "gateway/web/EventStreams.h"

#include "gateway/model/Model.h"
#include "gateway/model/StateJson.h"

class EventStreams::Stream : public PieceSource {
 public:
  Stream(EventStreams& owner, uint32_t client, nlohmann::json user)
      : owner_(owner), client_(client), user_(std::move(user)) {}

  // REQUIRES: owner's mutex not held.
  ~Stream() override {
    std::lock_guard lock(owner_.mutex_);
    if (--owner_.perClient_[client_] == 0) owner_.perClient_.erase(client_);
  }

  Got next(std::string* piece) override {
    std::shared_ptr<const nlohmann::json> state;
    {
      std::lock_guard lock(owner_.mutex_);
      if (owner_.stopping_) return Got::End;
      if (owner_.latest_.version > seen_ && owner_.latest_.json) {
        seen_ = owner_.latest_.version;
        state = owner_.latest_.json;
      } else if (keepAliveDue_) {
        keepAliveDue_ = false;
        *piece = ":\n\n";
        return Got::Piece;
      } else {
        return Got::Later;
      }
    }
    nlohmann::json j = *state;
    j["user"] = user_;
    *piece = "event: state\ndata: " + Dump(j) + "\n\n";
    return Got::Piece;
  }

  void attach(std::function<void()> waker) override {
    std::lock_guard lock(owner_.mutex_);
    waker_ = std::move(waker);
  }

  // REQUIRES: owner's mutex held.
  std::function<void()> waker(bool keepAlive) {
    if (keepAlive) keepAliveDue_ = true;
    return waker_;
  }

 private:
  EventStreams& owner_;
  const uint32_t client_;
  const nlohmann::json user_;
  uint64_t seen_ = 0;
  bool keepAliveDue_ = false;
  std::function<void()> waker_;
};

EventStreams::EventStreams(Model& model) {
  model.listen([this](const Model::Snapshot& s) {
    {
      std::lock_guard lock(mutex_);
      latest_ = {s.version, std::make_shared<const nlohmann::json>(s.json)};
    }
    wakeAll(false);
  });
}

EventStreams::~EventStreams() { stop(); }

void EventStreams::start() { thread_ = std::thread([this] { run(); }); }

void EventStreams::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stopped_.notify_all();
  if (thread_.joinable()) thread_.join();
  wakeAll(false);
}

HttpAnswer EventStreams::open(uint32_t client, nlohmann::json user) {
  std::lock_guard lock(mutex_);
  std::erase_if(streams_, [](const std::weak_ptr<Stream>& s) { return s.expired(); });
  int& mine = perClient_[client];
  if (mine >= kPerClient || static_cast<int>(streams_.size()) >= kTotal) {
    if (mine == 0) perClient_.erase(client);
    return Refusal(503, "Zu viele offene Ereignis-Verbindungen.");
  }
  ++mine;
  auto stream = std::make_shared<Stream>(*this, client, std::move(user));
  streams_.push_back(stream);
  HttpAnswer a;
  a.contentType = "text/event-stream";
  a.headers.emplace_back("X-Accel-Buffering", "no");  // a proxy passes each event at once
  a.pieces = std::move(stream);
  return a;
}

void EventStreams::wakeAll(bool keepAlive) {
  // Woken outside the lock, since a stream woken asks for its next piece;
  // and the streams held until then go outside it too, since the last
  // one to let go of a stream runs its destructor.
  std::vector<std::shared_ptr<Stream>> streams;
  std::vector<std::function<void()>> wakers;
  {
    std::lock_guard lock(mutex_);
    for (const std::weak_ptr<Stream>& weak : streams_) {
      if (std::shared_ptr<Stream> s = weak.lock()) {
        if (std::function<void()> w = s->waker(keepAlive)) wakers.push_back(std::move(w));
        streams.push_back(std::move(s));
      }
    }
  }
  for (const auto& w : wakers) w();
}

void EventStreams::run() {
  std::unique_lock lock(mutex_);
  while (!stopped_.wait_for(lock, kKeepAlive, [&] { return stopping_; })) {
    lock.unlock();
    wakeAll(true);
    lock.lock();
  }
}
