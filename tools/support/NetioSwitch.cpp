#include "tools/support/NetioSwitch.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "tools/support/Bytes.h"

namespace {

constexpr int kSliceMs = 20;  // how soon the thread sees a stop
constexpr std::string_view kOk = "250 OK\r\n";

void sendText(int fd, std::string_view text) {
  (void)!send(fd, text.data(), text.size(), MSG_NOSIGNAL);
}

// The line without its line end.
std::string_view bare(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool isPortList(std::string_view line) {
  if (line.size() != 14 || line.substr(0, 10) != "port list ") return false;
  return line.find_first_not_of("01", 10) == std::string_view::npos;
}

sockaddr_in loopback(uint16_t port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  return addr;
}

}  // namespace

NetioSwitch::NetioSwitch(Fault fault) : NetioSwitch([fault] {
  Options o;
  o.fault = fault;
  return o;
}()) {}

NetioSwitch::NetioSwitch(Options options) : options_(std::move(options)) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  // A fixed port is taken again at once after a restart.
  const int reuse = options_.port != 0 ? 1 : 0;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  sockaddr_in addr = loopback(options_.port);
  const Fault fault = options_.fault;
  const int backlog = fault == Fault::Unanswered ? 0 : 4;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      (fault != Fault::Refuse && listen(listener_, backlog) != 0)) {
    failure_ = "port " + std::to_string(options_.port) + ": " + std::strerror(errno);
    return;
  }
  socklen_t len = sizeof addr;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  if (fault == Fault::Unanswered) {
    fillQueue();
  } else if (fault != Fault::Refuse) {
    thread_ = std::thread([this] { serve(); });
  }
}

NetioSwitch::~NetioSwitch() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  for (const int c : queued_) close(c);
  close(listener_);
}

// Connects until one attempt is left hanging: from then on the queue is full.
void NetioSwitch::fillQueue() {
  const sockaddr_in addr = loopback(port_);
  for (int i = 0; i < 8; ++i) {
    const int c = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    queued_.push_back(c);
    if (connect(c, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) continue;
    if (errno != EINPROGRESS) break;
    pollfd p{c, POLLOUT, 0};
    if (poll(&p, 1, 200) == 0) return;
  }
  failure_ = "the listen queue could not be filled";
}

void NetioSwitch::setFault(Fault fault, size_t greetingLength) {
  std::lock_guard<std::mutex> lock(mutex_);
  options_.fault = fault;
  options_.greetingLength = greetingLength;
}

std::vector<std::string> NetioSwitch::take() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(heard_, {});
}

void NetioSwitch::serve() {
  while (!stop_) {
    if (!waitReadable(listener_, kSliceMs)) continue;
    busy_ = true;
    const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
      answer(fd, static_cast<unsigned>(connections_++));
      close(fd);
    }
    busy_ = false;
  }
}

void NetioSwitch::answer(int fd, unsigned connection) {
  Fault fault;
  size_t greetingLength;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool misbehave =
        options_.misbehaveFor < 0 || static_cast<long>(connection) < options_.misbehaveFor;
    fault = misbehave ? options_.fault : Fault::None;
    greetingLength = misbehave ? options_.greetingLength : 34;
  }
  if (fault == Fault::Silent) return waitForClose(fd);
  if (fault == Fault::Garbage) return garbage(fd);

  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", 0x5A3C0000u + connection);
  std::string greeting = std::string("100 HELLO ") + hex + " - KSHELL V1.1\r\n";
  greeting.resize(greetingLength, ' ');
  sendText(fd, greeting);

  std::string line;
  while (readLine(fd, line)) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      heard_.push_back(line);
    }
    if (bare(line).substr(0, 6) == "login ") {
      if (fault == Fault::DropAfterLogin) return;
      if (fault == Fault::ResetAfterLogin) {
        const linger hard{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        return;
      }
      sendText(fd, fault == Fault::ShortLoginReply ? kOk.substr(1) : kOk);
    } else if (isPortList(bare(line))) {
      if (options_.onPortList) options_.onPortList(line.substr(10, 4));
      switch (fault) {
        case Fault::DropAtPortList:
          return;
        case Fault::ReplyInTwoPieces:
          sendText(fd, "250 ");
          waitForClose(fd);
          sendText(fd, "OK\r\n");
          return;
        case Fault::FullBufferReply:
          sendText(fd, std::string(kOk) + std::string(248, '.'));
          break;
        case Fault::WrongReply:
          sendText(fd, "550 ERR\r\n");
          break;
        case Fault::NoReply:
          break;
        default:
          sendText(fd, kOk);
      }
    } else {
      sendText(fd, "502 UNKNOWN COMMAND\r\n");
    }
  }
}

// Greeting, login reply and port list reply at the right lengths and beyond,
// each after the client's turn.
void NetioSwitch::garbage(int fd) {
  for (const size_t size : {34, 8, 200}) {
    sendText(fd, RandomBytes(size, seed_++));
    char buf[512];
    if (waitReadable(fd, 1000)) (void)!recv(fd, buf, sizeof buf, 0);
  }
}

// Up to and including the next line feed; false when the client closed or
// stayed silent too long.
bool NetioSwitch::readLine(int fd, std::string& line) {
  line.clear();
  for (;;) {
    if (!waitReadable(fd, options_.patienceMs)) return false;
    char c;
    if (recv(fd, &c, 1, 0) != 1) return false;
    line += c;
    if (c == '\n') return true;
  }
}

bool NetioSwitch::waitReadable(int fd, int ms) {
  for (int waited = 0; waited < ms && !stop_; waited += kSliceMs) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kSliceMs) > 0) return true;
  }
  return false;
}

void NetioSwitch::waitForClose(int fd) {
  char buffer[256];
  while (waitReadable(fd, options_.patienceMs) && recv(fd, buffer, sizeof buffer, 0) > 0) {
  }
}
