#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

// One HTTP exchange as the web face's parts see it. Only HttpDaemon knows
// the HTTP library; everything above it works on these plain values, so the
// rules can be tested from strings.

struct HttpRequest {
  std::string method;  // "GET", "POST", ...
  std::string path;    // without the query
  std::map<std::string, std::string> query;    // the last value of each name
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
  uint32_t client = 0;  // the peer's IPv4 address, host order
  uint32_t local = 0;   // the address it reached, host order
  bool tls = false;

  // Set while the request is admitted: the logged-in user (UTF-8) and the
  // most the body may hold.
  std::string user;
  size_t bodyLimit = 0;
  // Let go when the exchange ends: what admitting it took (a slot).
  std::shared_ptr<void> hold;

  // The header's value, "" when it is missing.
  const std::string& header(std::string_view lowerName) const;
  bool has(std::string_view lowerName) const;
  const std::string* param(std::string_view name) const;
};

// A body written in pieces, for an answer too large to build whole or one
// that goes on (an event stream). Asked on the daemon's thread.
class PieceSource {
 public:
  enum class Got { Piece, Later, End };
  virtual ~PieceSource() = default;
  // Piece: *piece holds the next bytes. Later: nothing yet; the connection
  // waits, holding no thread, until the waker handed over by attach() is
  // called. End: the body is complete.
  virtual Got next(std::string* piece) = 0;
  // The waker may be called from any thread, as often as wanted, also after
  // the connection has gone.
  virtual void attach(std::function<void()> /*waker*/) {}
};

struct HttpAnswer {
  int status = 200;
  std::string contentType;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  std::shared_ptr<PieceSource> pieces;  // set: the body comes from it instead
  // The connection ends after this answer, so nothing the client sent
  // behind the request is read as another one.
  bool close = false;
};

// How a route answers: at once or later, from any thread, exactly once.
using Reply = std::function<void(HttpAnswer)>;

HttpAnswer JsonAnswer(int status, const nlohmann::json& body);
// {"error": message}, closing the connection: what every refusal answers.
HttpAnswer Refusal(int status, const std::string& message);
