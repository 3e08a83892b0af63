#include "tests/support/Process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "protocol/CommandPortClient.h"

CommandClient::CommandClient(int port, int timeoutMs, int receiveBuffer, uint32_t from) : port_(port) {
  const int64_t end = NowMs() + timeoutMs;
  while (true) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0) {
      setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    if (from != 0) {
      addr.sin_addr.s_addr = htonl(from);
      bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    }
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return;
    ::close(fd_);
    fd_ = -1;
    if (NowMs() > end) return;
    SleepMs(50);
  }
}

CommandClient::~CommandClient() { close(); }

void CommandClient::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::string CommandClient::request(const std::string& line) {
  close();
  CommandTarget target;
  target.port = static_cast<uint16_t>(port_);
  target.probeUser = "test";
  return ExchangeCommand(target, line).bytes;
}

void CommandClient::send(std::string_view bytes) {
  size_t sent = 0;
  while (fd_ >= 0 && sent < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

size_t CommandClient::trySend(std::string_view bytes) {
  if (fd_ < 0) return 0;
  const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
  if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) peerGone_ = true;
  return n > 0 ? static_cast<size_t>(n) : 0;
}

const std::string& CommandClient::received() {
  char buf[4096];
  ssize_t n = -1;
  while (fd_ >= 0 && (n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT)) > 0) {
    received_.append(buf, static_cast<size_t>(n));
  }
  if (fd_ >= 0 && (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))) peerGone_ = true;
  return received_;
}

bool CommandClient::waitReadable(int timeoutMs) const {
  pollfd p{fd_, POLLIN, 0};
  return fd_ >= 0 && poll(&p, 1, timeoutMs) > 0;
}

std::string CommandClient::receive(int quietMs, int timeoutMs) {
  std::string got;
  const int64_t end = NowMs() + timeoutMs;
  while (fd_ >= 0 && NowMs() < end) {
    pollfd p{fd_, POLLIN, 0};
    const int wait = got.empty() ? static_cast<int>(end - NowMs()) : quietMs;
    if (poll(&p, 1, wait > 0 ? wait : 0) <= 0) break;
    char buf[4096];
    const ssize_t n = recv(fd_, buf, sizeof buf, 0);
    if (n <= 0) break;
    got.append(buf, static_cast<size_t>(n));
  }
  return got;
}
