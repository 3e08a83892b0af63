#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

#include "bench/Installation.h"
#include "tools/support/Process.h"

constexpr uint16_t kCommandPort = 1969;

// The real server running in an installation, killed when the object goes.
class ServerProcess {
 public:
  // Starts the server once it has port 1969 to itself, waiting up to
  // portWaitSeconds while another program (another engineer's test) holds
  // it; ends the run when it does not start.
  ServerProcess(const std::string& program, const TempInstallation& dir, int portWaitSeconds);
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  pid_t pid() const { return process_->pid(); }

  // SIGTERM, as a service manager stops it, and up to 5 s for it to end:
  // the exit status, or -1.
  int stop();

 private:
  std::unique_ptr<Process> process_;
};
