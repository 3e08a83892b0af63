#pragma once

// The child processes and the waits of the system tests are shared with the
// simulators and the benchmark; the command client is the tests' own.
#include <string>

#include "tools/support/Process.h"
#include "tools/support/Wait.h"

// A line-oriented loopback TCP client for the command port.
class CommandClient {
 public:
  // Tries for up to timeoutMs to connect to 127.0.0.1:port.
  explicit CommandClient(int port, int timeoutMs = 5000);
  ~CommandClient();
  bool connected() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void send(const std::string& bytes);
  // Collects what arrives until nothing more comes for quietMs (or the peer
  // closes), at most timeoutMs in all.
  std::string receive(int quietMs = 200, int timeoutMs = 10000);
  // send + receive.
  std::string request(const std::string& line) {
    send(line);
    return receive();
  }
  // True when the peer has closed the connection within timeoutMs.
  bool closedByPeer(int timeoutMs);
  void close();

 private:
  int fd_ = -1;
};
