#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "gateway/mqtt/MqttOptions.h"
#include "gateway/web/WebOptions.h"

// tessaro_gateway's command line.
struct Options {
  bool http = true;  // false: --http none
  WebOptions web;
  uint32_t serverAddress = 0x7F000001;  // host order
  uint16_t serverPort = 1969;
  std::string usersFile;  // empty: no login
  std::string addUser;    // set: add this user to usersFile and exit
  MqttOptions mqtt;       // mqtt.host empty: no MQTT
  std::string history = "tessaro-history.sqlite";  // "none": no recording
  int historyBatchSeconds = 60;
  bool help = false;
};

extern const char* const kUsage;

// Nothing, with *error, for a command line that cannot be used.
std::optional<Options> ParseOptions(int argc, const char* const* argv, std::string* error);

// "ADDR:PORT" with a dotted IPv4 address and a port 1 ... 65535 (0 too, for
// any free port, when anyPort).
bool ParseEndpoint(std::string_view text, uint32_t* address, uint16_t* port, bool anyPort = false);

// An address of 127.0.0.0/8: only programs on this machine can reach it.
bool IsLoopback(uint32_t address);
// The dotted IPv4 address is not such an address.
bool ReachesBeyondLoopback(const std::string& address);
