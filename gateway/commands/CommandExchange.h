#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// One request on the command port, on a connection of its own, as the
// server's one-client-at-a-time port wants it.
struct CommandResult {
  enum class Status {
    Ok,           // the server replied exactly "ok"
    Refused,      // the server replied something else: reply holds it
    Unreachable,  // no connection, the port stayed busy, or no reply: detail says which
  };
  Status status = Status::Unreachable;
  std::string reply;   // the server's reply, ISO 8859-1, without its line end
  std::string detail;  // why Unreachable, for the operator (German)
};

struct CommandTarget {
  uint32_t address = 0x7F000001;  // host order
  uint16_t port = 1969;
  // Connecting is retried this long while nobody listens (a restart).
  std::chrono::milliseconds connectFor{2000};
  // How long another client may hold the port before the gateway gives up.
  std::chrono::milliseconds busyFor{10000};
};

// Sends request (a request line without its line end). The server takes one
// client at a time and queues the next in its backlog without reading it,
// and a client cannot tell that wait from being served. So the exchange
// first sends a request that changes nothing and waits for its "ok": only
// then, with the port surely its own, the real request follows. A gateway
// that gives up while queued leaves nothing behind but that harmless line.
// The reply is complete when the server closes the connection, which it does
// once it has read the gateway's end of sending.
CommandResult ExchangeCommand(const CommandTarget& target, const std::string& request);
