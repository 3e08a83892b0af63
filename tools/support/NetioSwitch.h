// A NETIO-230B power switch on a loopback port, for the tests and netio_sim.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Played by a thread of its own. Each connection gets the greeting
// "100 HELLO <8 hex digits> - KSHELL V1.1" with CR LF (34 bytes); a line
// "login <user> <password>" is answered "250 OK\r\n" whatever the
// credentials, "port list xxxx" with four characters 0/1 too, anything else
// "502 UNKNOWN COMMAND\r\n", unless the fault says otherwise. The switch
// closes when the client does, or after patienceMs of silence.
//
// Every line the switch is sent is kept, before it is answered, so a test
// sees it as soon as the driver has its reply; take() hands them over and
// forgets them, so a week of exchanges costs no memory.
class NetioSwitch {
 public:
  enum class Fault {
    None,
    Refuse,            // bound, not listening: connections are refused
    Unanswered,        // listening, never accepting, its queue full: no answer at all
    Silent,            // accepts, then says nothing
    Garbage,           // random bytes for greeting, login reply and port list reply
    ShortLoginReply,   // 7 bytes to the login
    DropAfterLogin,    // closes instead of answering the login
    ResetAfterLogin,   // resets the connection instead of answering the login
    DropAtPortList,    // closes instead of answering "port list"
    ReplyInTwoPieces,  // "250 " first; the rest only after the client is gone
    FullBufferReply,   // 256 bytes to "port list"
    WrongReply,        // "550 ERR\r\n" to "port list"
    NoReply,           // nothing to "port list"
  };

  struct Options {
    uint16_t port = 0;  // 0: any free one
    Fault fault = Fault::None;
    size_t greetingLength = 34;  // cut or padded with blanks while misbehaving
    long misbehaveFor = -1;      // the first N connections only; negative: all
    int patienceMs = 10000;
    // Called from the switch's thread with the four states of each port list.
    std::function<void(const std::string&)> onPortList;
  };

  explicit NetioSwitch(Fault fault = Fault::None);
  explicit NetioSwitch(Options options);
  ~NetioSwitch();
  NetioSwitch(const NetioSwitch&) = delete;
  NetioSwitch& operator=(const NetioSwitch&) = delete;

  // False when the port could not be taken (or, for Unanswered, its queue
  // not filled); failure() tells why.
  bool ready() const { return failure_.empty(); }
  const std::string& failure() const { return failure_; }
  uint16_t port() const { return port_; }

  // Applies to the connections accepted from now on; Refuse and Unanswered
  // only take effect at construction.
  void setFault(Fault fault, size_t greetingLength = 34);
  // The lines received since the last call, line feeds included, in order.
  std::vector<std::string> take();
  int connections() const { return connections_; }
  // No connection is being served (the last client has closed).
  bool idle() const { return !busy_; }

 private:
  void serve();
  void answer(int fd, unsigned connection);
  void garbage(int fd);
  bool readLine(int fd, std::string& line);
  bool waitReadable(int fd, int ms);
  void waitForClose(int fd);
  void fillQueue();

  Options options_;
  std::mutex mutex_;  // guards options_.fault, options_.greetingLength and heard_
  std::vector<std::string> heard_;
  std::string failure_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::vector<int> queued_;  // the connections that fill an Unanswered queue
  std::atomic<bool> stop_{false};
  std::atomic<bool> busy_{false};
  std::atomic<int> connections_{0};
  uint32_t seed_ = 1;
  std::thread thread_;
};
