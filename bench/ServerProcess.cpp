#include "bench/ServerProcess.h"

#include <signal.h>

#include "bench/BenchSupport.h"

ServerProcess::ServerProcess(const std::string& program, const TempInstallation& dir,
                             int portWaitSeconds) {
  std::string failure;
  process_ = StartServer(program, dir.run(), &failure, Process::Input::DevNull,
                         portWaitSeconds * 1000);
  if (process_ == nullptr) Fail(failure);
}

int ServerProcess::stop() {
  process_->signal(SIGTERM);
  return process_->wait(5000);
}
