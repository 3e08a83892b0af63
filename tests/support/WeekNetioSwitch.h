#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A NETIO-230B switch on a free port of 127.0.0.1 for long runs, played by a
// thread: it answers every connection as a working switch does and keeps
// only the commands the test has not yet taken, so a week of exchanges costs
// no memory. A command is kept before the switch answers it, so the test
// sees it as soon as the driver has its reply.
class WeekNetioSwitch {
 public:
  WeekNetioSwitch();
  ~WeekNetioSwitch();
  WeekNetioSwitch(const WeekNetioSwitch&) = delete;
  WeekNetioSwitch& operator=(const WeekNetioSwitch&) = delete;

  uint16_t port() const { return port_; }
  // The "port list" lines received since the last call, line feed included,
  // in order; a connection whose login line was not the switch's own adds
  // "bad login: <line>" instead.
  std::vector<std::string> take();
  // No connection is being served (the last client has closed).
  bool idle() const { return !busy_; }

 private:
  void serve();
  void answer(int fd);
  bool readLine(int fd, std::string& line);
  void keep(std::string text);

  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> busy_{false};
  std::mutex mutex_;
  std::vector<std::string> received_;
  std::thread thread_;
};
