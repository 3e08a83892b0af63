#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "bench/Installation.h"

constexpr uint16_t kCommandPort = 1969;

// The real server running in an installation, killed when the object goes.
class ServerProcess {
 public:
  // Starts the server once port 1969 is free; retries while another program
  // (another engineer's test) takes the port between the check and the bind.
  ServerProcess(const std::string& program, const TempInstallation& dir, int portWaitSeconds);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  pid_t pid() const { return pid_; }

  // SIGTERM, as a service manager stops it: the exit status, or -1.
  int stop();

 private:
  int waitUntilStarted(const TempInstallation& dir);

  pid_t pid_ = -1;
};

// True when nothing listens on port.
bool PortFree(uint16_t port);
