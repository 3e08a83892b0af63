#pragma once

#include <cstdint>

#include "core/RequestLines.h"
#include "platform/Socket.h"

class Tessaro;

// The TCP command port: one client at a time; while it is connected the
// listening socket is not watched, so a second client waits in the backlog.
class CommandPort {
 public:
  explicit CommandPort(Tessaro& t) : t_(t) {}

  // Listens on port (0: any free port), backlog 1, at the address that key
  // listen of section TCP/IP names, else on every IPv4 address. The port
  // has no login, so an installation may keep it to this machine
  // (listen=127.0.0.1); an address that cannot be bound fails the start.
  ListenResult open(uint16_t port);
  uint16_t port() const { return listener_.port(); }
  bool clientConnected() const { return client_.valid(); }

  // One wait of at most waitMs: accept a client, or receive at most 255
  // bytes from it and execute every request line they complete.
  void serve(int waitMs);

 private:
  class Dispatch;
  void closeClient();

  Tessaro& t_;
  TcpListener listener_;
  Socket client_;
  RequestLines lines_;
};
