#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "bench/Installation.h"
#include "tools/support/Process.h"

// The real tessaro_gateway in an installation's working directory, beside
// its server, on any free loopback port; killed when the object goes.
class GatewayProcess {
 public:
  // history: the database file, or "none". Ends the run when the gateway
  // does not tell its address within 10 s.
  GatewayProcess(const std::string& program, const TempInstallation& dir,
                 const std::string& history);
  GatewayProcess(const GatewayProcess&) = delete;
  GatewayProcess& operator=(const GatewayProcess&) = delete;

  pid_t pid() const { return process_.pid(); }
  uint16_t port() const { return port_; }

  // SIGTERM, and up to 5 s for it to end: the exit status, or -1.
  int stop();

 private:
  Process process_;
  uint16_t port_ = 0;
};
