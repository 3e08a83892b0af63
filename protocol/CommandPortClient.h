#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

// The client of the command port that every program of the system uses
// (the gateway, tessaro_client, the tests): one request on a connection of
// its own.
struct CommandResult {
  enum class Status {
    Ok,           // the server replied exactly "ok"
    Refused,      // the server replied something else: reply holds it
    Unreachable,  // no connection, the port stayed busy, or no reply: detail says which
  };
  Status status = Status::Unreachable;
  std::string reply;   // the server's reply, ISO 8859-1, without its line end
  std::string bytes;   // the reply as it came
  std::string detail;  // why Unreachable, for the operator (German)
  bool connected = false;  // a connection was made
};

struct CommandTarget {
  uint32_t address = 0x7F000001;  // host order
  uint16_t port = 1969;
  // Connecting is tried again this long while nobody listens (a restart).
  std::chrono::milliseconds connectFor{2000};
  // How long another client may hold the port before the client gives up.
  std::chrono::milliseconds busyFor{10000};
  // How long the reply may take once the port is the client's.
  std::chrono::milliseconds replyFor{5000};
  // The most the whole exchange takes.
  std::chrono::milliseconds within{17000};
  std::string probeUser = "gateway";
};

// Sends line (one request line with its line end). The server takes one
// client at a time and queues the next in its backlog without reading it,
// and a client cannot tell that wait from being served. So the exchange
// first sends a request that changes nothing (ProbeRequest) and waits for
// its "ok": only then, with the port surely its own, the real request
// follows. A client that gives up while queued leaves nothing behind but
// that harmless line. The reply is complete when the server closes the
// connection, which it does once it has read the client's end of sending;
// so a reply without a line end (the server's refusals have none) is never
// cut short by a pause.
CommandResult ExchangeCommand(const CommandTarget& target, std::string_view line);
