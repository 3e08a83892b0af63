#include "gateway/commands/CommandQueue.h"

namespace {

CommandResult unreachable(const char* detail) {
  CommandResult r;
  r.detail = detail;
  return r;
}

}  // namespace

CommandQueue::CommandQueue(CommandTarget target)
    : target_(target), thread_([this] { run(); }) {}

CommandQueue::~CommandQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  thread_.join();
  for (Job& job : jobs_) job.done(unreachable("Gateway beendet"));
}

std::future<CommandResult> CommandQueue::submit(std::string request) {
  auto result = std::make_shared<std::promise<CommandResult>>();
  std::future<CommandResult> future = result->get_future();
  submit(std::move(request), [result](const CommandResult& r) { result->set_value(r); });
  return future;
}

void CommandQueue::submit(std::string request, std::function<void(const CommandResult&)> done) {
  const char* refused = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (stopping_) {
      refused = "Gateway beendet";
    } else if (jobs_.size() >= kMaxWaiting) {
      refused = "zu viele Kommandos in der Warteschlange";
    } else {
      jobs_.push_back({std::move(request), std::move(done), std::chrono::steady_clock::now()});
    }
  }
  if (refused != nullptr) return done(unreachable(refused));
  ready_.notify_one();
}

void CommandQueue::run() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      ready_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    if (std::chrono::steady_clock::now() - job.given > kMaxWait) {
      job.done(unreachable("zu lange in der Warteschlange"));
    } else {
      job.done(ExchangeCommand(target_, job.request + "\r\n"));
    }
  }
}
