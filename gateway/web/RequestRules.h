#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "gateway/web/Http.h"

// The rules a request must pass, from its headers alone, before anything
// of it is read or run. Each gives the refusal to answer, or nothing.

// The names under which the gateway is reached. A page that a DNS
// rebinding points at the gateway sends its own host name, so only these
// are served: the listening address, the address the client reached (both
// IP literals, which no rebinding can forge), localhost, and the names
// given with --public-name.
struct HostNames {
  uint32_t listenAddress = 0;  // host order; 0 listens on every address
  bool tls = false;
  std::vector<std::string> publicNames;  // lower case
};

// 421 unless Host names this gateway, with the port it listens on (or none
// where that is the scheme's own).
std::optional<HttpAnswer> CheckHost(const HttpRequest& r, const HostNames& names, uint16_t port);

// For a request that changes state: 403 unless it comes from the page
// itself or from a client that is not a browser, 415 unless it is JSON.
// REQUIRES: Host has passed CheckHost.
std::optional<HttpAnswer> CheckSameOriginJson(const HttpRequest& r);

// 411, 413, 415 or 400 unless the body is framed in a way that the
// gateway reads within r.bodyLimit: no body, a Content-Length, or chunked;
// never compressed. A POST or PUT must declare its body.
std::optional<HttpAnswer> CheckFraming(const HttpRequest& r);
