#pragma once

// The child processes and the waits of the system tests are shared with the
// simulators and the benchmark; the command client is the tests' own.
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/support/Process.h"
#include "tools/support/Wait.h"

// A line-oriented loopback TCP client for the command port.
class CommandClient {
 public:
  // Tries for up to timeoutMs to connect to 127.0.0.1:port; receiveBuffer > 0
  // shrinks the client's receive buffer (a slow reader); from, when not 0,
  // is the address it connects from (host order: 127.0.0.2 is another
  // client of this machine).
  explicit CommandClient(int port, int timeoutMs = 5000, int receiveBuffer = 0, uint32_t from = 0);
  ~CommandClient();
  CommandClient(const CommandClient&) = delete;
  CommandClient& operator=(const CommandClient&) = delete;
  bool connected() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void send(std::string_view bytes);
  // Queues bytes in the kernel without waiting; the number taken.
  size_t trySend(std::string_view bytes);
  // Everything that has arrived so far, without waiting.
  const std::string& received();
  // The peer closed or reset the connection, as trySend or received saw.
  bool peerGone() const { return peerGone_; }
  // Waits at most timeoutMs for something to read or for the peer's close.
  bool waitReadable(int timeoutMs) const;
  // Collects what arrives until nothing more comes for quietMs (or the peer
  // closes), at most timeoutMs in all.
  std::string receive(int quietMs = 200, int timeoutMs = 10000);
  // line (with its line end) through the system's one command-port client,
  // on a connection of its own once this one is closed: the reply as it
  // came, empty when none came.
  std::string request(const std::string& line);
  void close();

 private:
  int port_;
  int fd_ = -1;
  std::string received_;
  bool peerGone_ = false;
};
