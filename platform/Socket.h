#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// An owned socket descriptor; closed when the object goes.
class Socket {
 public:
  Socket() = default;
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() { close(); }
  Socket(Socket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void close();

  // Waits at most timeoutMs for data (or a peer's close) to read.
  bool waitReadable(int timeoutMs) const;

  // One receive of at most size bytes: the count, 0 when the peer closed,
  // negative on error or when nothing is there to read.
  long receive(char* buffer, size_t size) const;

  // Sends what the socket takes at once, never blocking and never raising
  // SIGPIPE. True only when every byte went.
  bool sendNow(std::string_view bytes) const;

  // Sends, waiting as long as the socket needs (for blocking peers in tools
  // and tests). True when every byte went.
  bool sendAll(std::string_view bytes) const;

 private:
  int fd_ = -1;
};

// How far opening the listening socket got; each step has its console text.
enum class ListenResult { Ok, StartupFailed, SocketFailed, BindFailed, ListenFailed };

// The TCP server side: listens on one IPv4 address, or all of them, of a port.
class TcpListener {
 public:
  // address is a dotted IPv4 address of this machine, or empty for every
  // address; anything else fails as the bind. port 0 takes any free port
  // (tests); SO_REUSEADDR so a restart binds at once.
  ListenResult open(std::string_view address, uint16_t port, int backlog);
  uint16_t port() const { return port_; }
  const Socket& socket() const { return socket_; }

  // Bytes of replies an accepted connection holds unsent (the kernel
  // doubles it): many times the longest reply of a receive.
  static constexpr int kClientSendBuffer = 16384;

  // The accepted connection, set non-blocking and without delay for small
  // segments, so every reply of pipelined requests leaves at once instead of
  // waiting for the client's acknowledgement; invalid when accept failed.
  Socket accept() const;

 private:
  Socket socket_;
  uint16_t port_ = 0;
};

// A blocking TCP connection to 127.0.0.1:port, for tools and tests; invalid
// when it cannot be made.
Socket ConnectLoopback(uint16_t port);
