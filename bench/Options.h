#pragma once

#include <string>
#include <vector>

// Which installations the run measures: both side by side, or one of them
// while developing.
enum class Only { Both, Disk, Tmpfs };

struct Options {
  int idleSeconds = 60;
  int requests = 2000;  // round trips of each kind, after the warm-up
  int pipelined = 20000;
  int bursts = 2000;
  int gapUs = 1000;  // pause after each round trip's reply
  int portWaitSeconds = 1800;
  int events = 200;  // mode changes through the gateway, after the warm-up
  std::string server;
  std::string gateway;
  bool gatewayPart = true;  // false: --no-gateway
  bool historyPart = true;  // false: --no-history
  bool memoryDetail = false;
  bool keep = false;
  Only only = Only::Both;
};

struct ParsedOptions {
  enum class Outcome { Run, Help, Usage, Invalid };
  Outcome outcome = Outcome::Run;
  Options options;
  std::string error;  // why, when Invalid
};

// The command line after the program name. Counts below a useful minimum are
// raised to it, so a short development run still has a median and a p99.
ParsedOptions ParseOptions(const std::vector<std::string>& args, const std::string& defaultServer,
                           const std::string& defaultGateway);

extern const char* const kUsage;
