#include "tests/drivers/net/FakeNetioSwitch.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace {

// How long the switch waits for its client before giving up on it.
constexpr int kPatienceMs = 5000;
constexpr int kSliceMs = 20;

constexpr std::string_view kGreeting = "100 HELLO 1A2B3C4D - KSHELL V1.1\r\n";  // 34 bytes
constexpr std::string_view kOk = "250 OK\r\n";

int loopbackSocket(int backlog, bool listening, uint16_t& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  if (listening) listen(fd, backlog);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  return fd;
}

void sendText(int fd, std::string_view text) {
  send(fd, text.data(), text.size(), MSG_NOSIGNAL);
}

}  // namespace

FakeNetioSwitch::FakeNetioSwitch() {
  listener_ = loopbackSocket(4, true, port_);
  thread_ = std::thread([this] { serve(); });
}

FakeNetioSwitch::~FakeNetioSwitch() {
  stop_ = true;
  thread_.join();
  close(listener_);
}

std::vector<std::string> FakeNetioSwitch::received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

void FakeNetioSwitch::serve() {
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, kSliceMs) <= 0) continue;
    const int fd = accept(listener_, nullptr, nullptr);
    if (fd < 0) continue;
    std::string heard;
    answer(fd, heard);
    close(fd);
  }
}

void FakeNetioSwitch::answer(int fd, std::string& heard) {
  size_t slot;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slot = received_.size();
    received_.emplace_back();
  }
  auto keep = [&] {
    std::lock_guard<std::mutex> lock(mutex_);
    received_[slot] = heard;
  };

  const Behaviour b = behaviour_;
  if (b == Behaviour::Silent) return waitForClose(fd);
  sendText(fd, b == Behaviour::ShortGreeting ? kGreeting.substr(1) : kGreeting);
  if (b == Behaviour::ShortGreeting) return waitForClose(fd);

  if (!readLine(fd, heard)) return;
  keep();
  if (b == Behaviour::DropAfterLogin) return;
  sendText(fd, b == Behaviour::ShortLoginReply ? kOk.substr(1) : kOk);
  if (b == Behaviour::ShortLoginReply) return waitForClose(fd);

  if (!readLine(fd, heard)) return;
  keep();
  switch (b) {
    case Behaviour::ReplyInTwoPieces:
      sendText(fd, "250 ");
      waitForClose(fd);
      sendText(fd, "OK\r\n");
      return;
    case Behaviour::FullBufferReply:
      sendText(fd, std::string(kOk) + std::string(248, 'x'));
      break;
    case Behaviour::WrongReply:
      sendText(fd, "550 ERR\r\n");
      break;
    case Behaviour::NoReply:
      break;
    default:
      sendText(fd, kOk);
      break;
  }
  waitForClose(fd);
}

bool FakeNetioSwitch::readLine(int fd, std::string& heard) {
  for (int waited = 0; waited < kPatienceMs && !stop_;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kSliceMs) <= 0) {
      waited += kSliceMs;
      continue;
    }
    char c;
    if (recv(fd, &c, 1, 0) != 1) return false;
    heard += c;
    if (c == '\n') return true;
  }
  return false;
}

void FakeNetioSwitch::waitForClose(int fd) {
  for (int waited = 0; waited < kPatienceMs && !stop_;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kSliceMs) <= 0) {
      waited += kSliceMs;
      continue;
    }
    char buffer[64];
    if (recv(fd, buffer, sizeof buffer, 0) <= 0) return;
  }
}

RefusingPort::RefusingPort() {
  fd_ = loopbackSocket(0, false, port_);
}
RefusingPort::~RefusingPort() {
  close(fd_);
}

UnansweredPort::UnansweredPort() {
  fd_ = loopbackSocket(0, true, port_);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port_);
  // Connect until one attempt is left hanging: from then on the queue is full.
  for (int i = 0; i < 8 && !ready_; ++i) {
    const int c = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    queued_.push_back(c);
    if (connect(c, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) continue;
    if (errno != EINPROGRESS) break;
    pollfd p{c, POLLOUT, 0};
    ready_ = poll(&p, 1, 200) == 0;
  }
}

UnansweredPort::~UnansweredPort() {
  for (const int c : queued_) close(c);
  close(fd_);
}
