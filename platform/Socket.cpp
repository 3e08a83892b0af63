#include "platform/Socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void Socket::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool Socket::waitReadable(int timeoutMs) const {
  if (fd_ < 0) return false;
  pollfd p{fd_, POLLIN, 0};
  return poll(&p, 1, timeoutMs) > 0;  // EINTR: a signal wants the loop to look
}

long Socket::receive(char* buffer, size_t size) const {
  ssize_t n;
  do {
    n = recv(fd_, buffer, size, MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

bool Socket::sendNow(std::string_view bytes) const {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent,
                           MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

bool Socket::sendAll(std::string_view bytes) const {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

ListenResult TcpListener::open(std::string_view address, uint16_t port, int backlog) {
  Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!s.valid()) return ListenResult::SocketFailed;
  const int on = 1;
  setsockopt(s.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(port);
  // Strictly dotted: a text inet_pton refuses must never fall back to every
  // address.
  if (!address.empty() &&
      inet_pton(AF_INET, std::string(address).c_str(), &addr.sin_addr) != 1) {
    return ListenResult::BindFailed;
  }
  if (bind(s.fd(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    return ListenResult::BindFailed;
  }
  if (listen(s.fd(), backlog) != 0) return ListenResult::ListenFailed;
  socklen_t len = sizeof addr;
  getsockname(s.fd(), reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  socket_ = std::move(s);
  return ListenResult::Ok;
}

Socket TcpListener::accept() const {
  int fd;
  do {
    fd = ::accept4(socket_.fd(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  // A fixed, small send buffer: replies to a client that does not read back
  // up after some ten kilobytes and end its connection, instead of after the
  // megabytes a self-tuning buffer grows to while the loop waits on nobody.
  if (fd >= 0) {
    const int size = kClientSendBuffer;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  return Socket(fd);
}

Socket ConnectLoopback(uint16_t port) {
  Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!s.valid()) return s;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  if (connect(s.fd(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return Socket();
  return s;
}
