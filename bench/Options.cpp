#include "bench/Options.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

const char* const kUsage =
    "usage: tessaro_bench [--idle-seconds N] [--requests N] [--pipelined N] [--bursts N]\n"
    "                     [--gap-us N] [--port-wait-seconds N] [--events N]\n"
    "                     [--server PATH] [--gateway PATH] [--no-gateway] [--no-history]\n"
    "                     [--only disk|tmpfs] [--memory-detail] [--keep]\n";

namespace {

bool ParseCount(const std::string& text, int* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || n < 0 || n > INT_MAX) return false;
  *value = static_cast<int>(n);
  return true;
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& args, const std::string& defaultServer,
                           const std::string& defaultGateway) {
  ParsedOptions parsed;
  Options& o = parsed.options;
  o.server = defaultServer;
  o.gateway = defaultGateway;
  const auto invalid = [&](const std::string& why) {
    parsed.outcome = ParsedOptions::Outcome::Invalid;
    parsed.error = why;
    return parsed;
  };
  struct Count {
    const char* name;
    int* value;
    int minimum;
  };
  const Count counts[] = {
      {"--idle-seconds", &o.idleSeconds, 1},
      {"--requests", &o.requests, 10},
      {"--pipelined", &o.pipelined, 100},
      {"--bursts", &o.bursts, 10},
      {"--gap-us", &o.gapUs, 0},
      {"--port-wait-seconds", &o.portWaitSeconds, 0},
      {"--events", &o.events, 20},
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    const Count* count = nullptr;
    for (const Count& c : counts) {
      if (a == c.name) count = &c;
    }
    if (count != nullptr) {
      int n = 0;
      if (!hasValue || !ParseCount(args[i + 1], &n)) {
        return invalid(a + " needs a number of at least 0");
      }
      *count->value = std::max(count->minimum, n);
      ++i;
    } else if (a == "--server" && hasValue) {
      o.server = args[++i];
    } else if (a == "--gateway" && hasValue) {
      o.gateway = args[++i];
    } else if (a == "--no-gateway") {
      o.gatewayPart = false;
    } else if (a == "--no-history") {
      o.historyPart = false;
    } else if (a == "--only" && hasValue && (args[i + 1] == "disk" || args[i + 1] == "tmpfs")) {
      o.only = args[++i] == "disk" ? Only::Disk : Only::Tmpfs;
    } else if (a == "--only") {
      return invalid("--only takes disk or tmpfs");
    } else if (a == "--memory-detail") {
      o.memoryDetail = true;
    } else if (a == "--keep") {
      o.keep = true;
    } else {
      parsed.outcome = a == "--help" ? ParsedOptions::Outcome::Help : ParsedOptions::Outcome::Usage;
      return parsed;
    }
  }
  return parsed;
}
