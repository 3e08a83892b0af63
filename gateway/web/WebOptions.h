#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The web face's part of the command line.
struct WebOptions {
  std::string address = "127.0.0.1";  // IPv4, where it listens
  uint16_t port = 8080;               // 0: any free port
  std::string tlsCert, tlsKey;        // PEM files; empty: plain HTTP
  std::string anonymousUser = "web";  // the requests' username while nobody logs in
  std::vector<std::string> publicNames;  // further names of the gateway in Host, lower case
};
