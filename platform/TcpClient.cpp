#include "platform/TcpClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

uint32_t ParseIPv4(std::string_view text) {
  const std::string z(text);
  return ntohl(inet_addr(z.c_str()));
}

std::string FormatIPv4(uint32_t address) {
  in_addr a{};
  a.s_addr = htonl(address);
  char text[INET_ADDRSTRLEN];
  inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

bool TcpClient::open() {
  close();
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  return fd_ >= 0;
}

bool TcpClient::waitFor(short events, int timeoutMs) const {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    pollfd p{fd_, events, 0};
    const int n = poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
    if (n > 0) return true;
    if (n == 0 || errno != EINTR || left <= 0) return false;
  }
}

bool TcpClient::connect(uint32_t address, uint16_t port, int timeoutMs) {
  if (fd_ < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(address);
  addr.sin_port = htons(port);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return true;
  // A non-blocking connect that was interrupted goes on in the background,
  // like one still in progress.
  if (errno != EINPROGRESS && errno != EINTR) return false;
  if (!waitFor(POLLOUT, timeoutMs)) return false;
  int error = 0;
  socklen_t len = sizeof error;
  if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len) != 0) return false;
  return error == 0;
}

size_t TcpClient::send(std::string_view bytes, int timeoutMs) {
  size_t sent = 0;
  while (fd_ >= 0 && sent < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!waitFor(POLLOUT, timeoutMs)) break;
    } else {
      break;
    }
  }
  return sent;
}

long TcpClient::receive(char* buffer, size_t size, int timeoutMs) {
  if (fd_ < 0) return -1;
  if (!waitFor(POLLIN, timeoutMs)) return kTimedOut;
  ssize_t n;
  do {
    n = recv(fd_, buffer, size, 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return kTimedOut;
  return n < 0 ? -1 : static_cast<long>(n);
}

void TcpClient::finishSending() {
  if (fd_ >= 0) shutdown(fd_, SHUT_WR);
}

void TcpClient::close() {
  if (fd_ < 0) return;
  shutdown(fd_, SHUT_RDWR);
  ::close(fd_);
  fd_ = -1;
}
