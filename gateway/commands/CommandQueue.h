#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "protocol/CommandPortClient.h"

// The gateway's commands, one after another on one thread: the server takes
// one client at a time, so the gateway never competes with itself for the
// port. Both faces (web and MQTT) put their commands here.
class CommandQueue {
 public:
  static constexpr size_t kMaxWaiting = 32;
  // A command not begun by then is given up, unsent: whoever gave it
  // hears in bounded time, and a click long past does not switch later.
  static constexpr auto kMaxWait = std::chrono::seconds(10);

  explicit CommandQueue(CommandTarget target);
  ~CommandQueue();  // stops; waiting commands end Unreachable
  CommandQueue(const CommandQueue&) = delete;
  CommandQueue& operator=(const CommandQueue&) = delete;

  // Queues a request line (without line end); its result comes through the
  // future. A full queue answers at once, Unreachable; so does one that
  // could not begin within kMaxWait (an exchange takes at most 17 s more).
  std::future<CommandResult> submit(std::string request);
  // The same, with the result handed to done on the queue's thread (for a
  // face whose own thread must not wait).
  void submit(std::string request, std::function<void(const CommandResult&)> done);

 private:
  struct Job {
    std::string request;
    std::function<void(const CommandResult&)> done;
    std::chrono::steady_clock::time_point given;
  };
  void run();

  CommandTarget target_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Job> jobs_;
  bool stopping_ = false;
  std::thread thread_;
};
