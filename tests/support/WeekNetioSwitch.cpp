#include "tests/support/WeekNetioSwitch.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string_view>
#include <utility>

namespace {

constexpr int kPatienceMs = 3000;  // for a client that stops talking
constexpr std::string_view kGreeting = "100 HELLO 1A2B3C4D - KSHELL V1.1\r\n";  // 34 bytes
constexpr std::string_view kOk = "250 OK\r\n";
constexpr std::string_view kLogin = "login pxmrt pxmrt\n";

void sendText(int fd, std::string_view text) {
  ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
}

}  // namespace

WeekNetioSwitch::WeekNetioSwitch() {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  listen(listener_, 4);
  socklen_t len = sizeof addr;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { serve(); });
}

WeekNetioSwitch::~WeekNetioSwitch() {
  stop_ = true;
  thread_.join();
  close(listener_);
}

std::vector<std::string> WeekNetioSwitch::take() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(received_, {});
}

void WeekNetioSwitch::keep(std::string text) {
  std::lock_guard<std::mutex> lock(mutex_);
  received_.push_back(std::move(text));
}

void WeekNetioSwitch::serve() {
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    busy_ = true;
    const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
      answer(fd);
      close(fd);
    }
    busy_ = false;
  }
}

void WeekNetioSwitch::answer(int fd) {
  sendText(fd, kGreeting);
  std::string line;
  if (!readLine(fd, line)) return;
  if (line != kLogin) {
    keep("bad login: " + line);
    return;
  }
  sendText(fd, kOk);
  if (!readLine(fd, line)) return;
  keep(line);
  sendText(fd, kOk);
  // The client closes first; its close ends the connection here.
  while (readLine(fd, line)) {
  }
}

// Up to and including the next line feed; false when the client closed or
// stayed silent too long.
bool WeekNetioSwitch::readLine(int fd, std::string& line) {
  line.clear();
  while (!stop_) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kPatienceMs) <= 0) return false;
    char c;
    if (recv(fd, &c, 1, 0) != 1) return false;
    line += c;
    if (c == '\n') return true;
  }
  return false;
}
