#include "bench/GatewayProcess.h"

#include <cstdio>

#include "bench/BenchSupport.h"
#include "bench/ChildProcess.h"

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
                               const std::string& history) {
  const std::string console = dir.root() + "/gateway-console.txt";
  // Gone before the start, so that an earlier gateway's line is not taken
  // for this one's.
  std::remove(console.c_str());
  pid_ = SpawnChild(
      {program, "--http", "127.0.0.1:0", "--server", "127.0.0.1:1969", "--history", history},
      dir.run(), console);
  for (int i = 0; i < 1000; ++i) {
    if (const auto port = ParseGatewayPort(ReadWholeFile(console))) {
      port_ = *port;
      return;
    }
    const int status = EndedChild(pid_);
    if (status >= 0) {
      pid_ = -1;
      Fail("the gateway did not start (status " + std::to_string(status) + "):\n" +
           ReadWholeFile(console));
    }
    SleepUs(10000);
  }
  Fail("the gateway did not tell its address within 10 s:\n" + ReadWholeFile(console));
}

GatewayProcess::~GatewayProcess() {
  if (pid_ > 0) KillChild(pid_);
}

int GatewayProcess::stop() {
  const int status = StopChild(pid_);
  pid_ = -1;
  return status;
}
