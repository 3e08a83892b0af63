#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// IPv4 addresses in host byte order.

// A dotted IPv4 text as the C library's inet_addr reads it (also the short
// and hexadecimal forms it accepts); no host names. An invalid text gives
// 0xFFFFFFFF, the same as 255.255.255.255.
uint32_t ParseIPv4(std::string_view text);

// "a.b.c.d".
std::string FormatIPv4(uint32_t address);

// One TCP client connection to an IPv4 address, for one exchange: open,
// connect, send and receive in turn, close. No call ever waits longer than
// the time-out it is given, and nothing here raises SIGPIPE.
class TcpClient {
 public:
  // receive's result when nothing arrived in time.
  static constexpr long kTimedOut = -2;

  TcpClient() = default;
  ~TcpClient() { close(); }
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  // Creates the IPv4 stream socket; false when the system has none to give.
  bool open();

  // Connects to address:port (host order), waiting at most timeoutMs.
  // REQUIRES: open() succeeded.
  bool connect(uint32_t address, uint16_t port, int timeoutMs);

  // Sends all of bytes, waiting at most timeoutMs for room in the socket's
  // buffer; the number of bytes sent.
  size_t send(std::string_view bytes, int timeoutMs);

  // One receive of at most size bytes, waiting at most timeoutMs for the
  // first byte: the count, 0 when the peer closed, -1 on an error, kTimedOut
  // when nothing came.
  long receive(char* buffer, size_t size, int timeoutMs);

  // Tells the peer that nothing more will be sent (it reads end of file);
  // receiving goes on.
  void finishSending();

  // Shuts the connection down in both directions and closes the socket;
  // nothing happens when none is open.
  void close();

 private:
  // poll for events, at most timeoutMs in all across interruptions; true
  // when one of them came.
  bool waitFor(short events, int timeoutMs) const;

  int fd_ = -1;
};
