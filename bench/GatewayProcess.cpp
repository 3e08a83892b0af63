#include "bench/GatewayProcess.h"

#include <signal.h>

#include "bench/BenchSupport.h"
#include "tools/support/Wait.h"

GatewayProcess::GatewayProcess(const std::string& program, const TempInstallation& dir,
                               const std::string& history)
    : process_(program,
               {"--http", "127.0.0.1:0", "--server", "127.0.0.1:1969", "--history", history},
               dir.run(), Process::Input::DevNull) {
  WaitUntil([&] { return ParseGatewayPort(process_.output()) || !process_.running(); }, 10000);
  const auto port = ParseGatewayPort(process_.output());
  if (!port) Fail("the gateway did not tell its address within 10 s:\n" + process_.output());
  port_ = *port;
}

int GatewayProcess::stop() {
  process_.signal(SIGTERM);
  return process_.wait(5000);
}
