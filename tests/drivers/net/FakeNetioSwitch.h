#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A NETIO-230B switch on a free port of 127.0.0.1, played by a thread. Each
// connection is answered as the current behaviour says; what the client sent
// on it is kept, and recorded before the switch answers, so a test sees it as
// soon as the driver has its reply.
class FakeNetioSwitch {
 public:
  enum class Behaviour {
    Good,              // greeting, "250 OK\r\n" to the login and to "port list"
    ShortGreeting,     // a greeting of 33 bytes
    Silent,            // accepts, then says nothing
    ShortLoginReply,   // 7 bytes to the login
    DropAfterLogin,    // closes instead of answering the login
    ReplyInTwoPieces,  // "250 " first; the rest only after the client is gone
    FullBufferReply,   // 256 bytes to "port list"
    WrongReply,        // "550 ERR\r\n" to "port list"
    NoReply,           // nothing to "port list"
  };

  FakeNetioSwitch();
  ~FakeNetioSwitch();
  FakeNetioSwitch(const FakeNetioSwitch&) = delete;
  FakeNetioSwitch& operator=(const FakeNetioSwitch&) = delete;

  uint16_t port() const { return port_; }
  void setBehaviour(Behaviour b) { behaviour_ = b; }
  // Everything the client sent, one text per connection, in order.
  std::vector<std::string> received() const;

 private:
  void serve();
  void answer(int fd, std::string& heard);
  // Reads up to and including the next line feed; false when the client
  // closed or nothing came for a while.
  bool readLine(int fd, std::string& heard);
  void waitForClose(int fd);

  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<Behaviour> behaviour_{Behaviour::Good};
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> received_;
  std::thread thread_;
};

// A loopback port where a connection is refused: bound, not listening.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

// A loopback listener that never accepts, its queue filled up, so a further
// connection attempt gets no answer at all.
class UnansweredPort {
 public:
  UnansweredPort();
  ~UnansweredPort();
  uint16_t port() const { return port_; }
  // False when the queue could not be filled (the test cannot run then).
  bool ready() const { return ready_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
  bool ready_ = false;
  std::vector<int> queued_;
};
