#include "bench/GatewayProcess.h"

#include <signal.h>

#include "bench/BenchSupport.h"
#include "tools/support/Wait.h"

namespace {

constexpr std::string_view kListening = "tessaro_gateway: http://127.0.0.1:";

}  // namespace

std::optional<uint16_t> ParseGatewayPort(std::string_view console) {
  const size_t at = console.find(kListening);
  if (at == std::string_view::npos) return std::nullopt;
  const std::string_view rest = console.substr(at + kListening.size());
  const size_t end = rest.find("/\n");
  if (end == std::string_view::npos || end == 0 || end > 5) return std::nullopt;
  long port = 0;
  for (const char c : rest.substr(0, end)) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + (c - '0');
  }
  if (port < 1 || port > 65535) return std::nullopt;
  return static_cast<uint16_t>(port);
}

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
