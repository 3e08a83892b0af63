#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string_view>

#include "platform/Socket.h"

// A blocking loopback connection to port with Nagle off: the requests are
// small writes, none may wait for an ACK. Ends the run when none can be made.
Socket ConnectClient(uint16_t port);

// The same from another loopback address (host order, 127.0.0.2 and on):
// another client, as a server that counts clients by address sees it.
Socket ConnectClientFrom(uint32_t from, uint16_t port);

// Receives exactly size bytes within timeoutMs.
bool ReceiveExact(const Socket& socket, char* buffer, size_t size, int timeoutMs);

// Sends request (one send) and waits for exactly reply: the time in ns. Ends
// the run on a failed send, a reply missing after 5 s or a different reply.
int64_t RoundTrip(const Socket& socket, std::string_view request, std::string_view reply);

// The floor: a loopback echo that serves its client the way the server does
// (a single-threaded process waiting for readability, a non-blocking
// connection accepted by the same TcpListener, one receive of at most 255
// bytes, a non-blocking send), so the two differ only in the server's work.
class EchoFloor {
 public:
  EchoFloor();
  ~EchoFloor();  // kills the echo process
  EchoFloor(const EchoFloor&) = delete;
  EchoFloor& operator=(const EchoFloor&) = delete;

  uint16_t port() const { return port_; }

 private:
  uint16_t port_ = 0;
  pid_t pid_ = -1;
};
