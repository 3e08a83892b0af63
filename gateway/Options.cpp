#include "gateway/Options.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string_view>

#include "gateway/mqtt/MqttFace.h"

const char* const kUsage =
    "Usage: tessaro_gateway [options]\n"
    "Web page and JSON API of a Tessaro installation; run it in the installation's\n"
    "working directory (it reads ./Tessaro.ini and ../debug/*.xml).\n"
    "\n"
    "  --http ADDR:PORT     where the web face listens (default 127.0.0.1:8080; port 0:\n"
    "                       any free port, printed at start), or none; an address\n"
    "                       other than loopback needs --users\n"
    "  --server HOST:PORT   the command port (default 127.0.0.1:1969), IPv4 address\n"
    "  --users FILE         the users who may log in (name:crypt-hash lines)\n"
    "  --add-user NAME      with --users: add NAME, or give it a new password read\n"
    "                       from standard input, then exit\n"
    "  --tls-cert FILE      serve HTTPS with this certificate (PEM) ...\n"
    "  --tls-key FILE       ... and this private key (PEM)\n"
    "  --public-name NAME   a host name under which browsers reach the gateway\n"
    "                       (repeatable); besides localhost and its own addresses\n"
    "  --web-user NAME      the username of commands while nobody logs in (web)\n"
    "  --history FILE       record into this SQLite file (tessaro-history.sqlite in\n"
    "                       the working directory), or none\n"
    "  --history-batch S    write the recorded rows every S seconds (60)\n"
    "\n"
    "  --mqtt HOST[:PORT]   also publish to and take commands from an MQTT broker\n"
    "                       (port 1883), with Home Assistant discovery\n"
    "  --mqtt-user NAME     the broker's user name ...\n"
    "  --mqtt-password-file FILE  ... and the file whose first line is its password\n"
    "  --mqtt-cafile FILE   TLS to the broker, its certificate checked against FILE\n"
    "  --mqtt-prefix P      the topics' prefix (tessaro)\n"
    "  --discovery-prefix P Home Assistant's discovery prefix (homeassistant)\n"
    "  --mqtt-command-user NAME  the username of commands from MQTT (mqtt)\n"
    "  --help               this text\n";

bool ParseEndpoint(std::string_view text, uint32_t* address, uint16_t* port, bool anyPort) {
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return false;
  in_addr a{};
  if (inet_pton(AF_INET, std::string(text.substr(0, colon)).c_str(), &a) != 1) return false;
  const std::string_view digits = text.substr(colon + 1);
  unsigned p = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), p);
  if (ec != std::errc() || end != digits.data() + digits.size() || p < (anyPort ? 0u : 1u) || p > 65535) {
    return false;
  }
  *address = ntohl(a.s_addr);
  *port = static_cast<uint16_t>(p);
  return true;
}

bool IsLoopback(uint32_t address) { return (address >> 24) == 127; }

bool ReachesBeyondLoopback(const std::string& address) {
  in_addr a{};
  return inet_pton(AF_INET, address.c_str(), &a) != 1 || !IsLoopback(ntohl(a.s_addr));
}

std::optional<Options> ParseOptions(int argc, const char* const* argv, std::string* error) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") {
      o.help = true;
      continue;
    }
    if (i + 1 >= argc) {
      *error = std::string(arg) + ": unknown option or missing value";
      return std::nullopt;
    }
    const std::string_view value = argv[++i];
    if (arg == "--http") {
      uint32_t address = 0;
      if (value == "none") {
        o.http = false;
      } else if (!ParseEndpoint(value, &address, &o.web.port, true)) {
        *error = "--http wants ADDR:PORT with an IPv4 address, or none";
        return std::nullopt;
      } else {
        o.web.address = std::string(value.substr(0, value.rfind(':')));
      }
    } else if (arg == "--server") {
      if (!ParseEndpoint(value, &o.serverAddress, &o.serverPort)) {
        *error = "--server wants HOST:PORT with an IPv4 address";
        return std::nullopt;
      }
    } else if (arg == "--users") {
      o.usersFile = value;
    } else if (arg == "--add-user") {
      o.addUser = value;
    } else if (arg == "--tls-cert") {
      o.web.tlsCert = value;
    } else if (arg == "--tls-key") {
      o.web.tlsKey = value;
    } else if (arg == "--web-user") {
      o.web.anonymousUser = value;
    } else if (arg == "--public-name") {
      std::string name(value);
      std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
      if (name.empty() || name.find_first_of(":/ ") != std::string::npos) {
        *error = "--public-name wants a host name without port, such as tessaro.example";
        return std::nullopt;
      }
      o.web.publicNames.push_back(std::move(name));
    } else if (arg == "--history") {
      o.history = value;
    } else if (arg == "--history-batch") {
      int seconds = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
      if (ec != std::errc() || end != value.data() + value.size() || seconds < 1 || seconds > 3600) {
        *error = "--history-batch wants 1 ... 3600 seconds";
        return std::nullopt;
      }
      o.historyBatchSeconds = seconds;
    } else if (arg == "--mqtt") {
      const size_t colon = value.rfind(':');
      o.mqtt.host = std::string(value.substr(0, colon));
      unsigned p = 1883;
      if (colon != std::string_view::npos) {
        const std::string_view digits = value.substr(colon + 1);
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), p);
        if (ec != std::errc() || end != digits.data() + digits.size() || p < 1 || p > 65535) p = 0;
      }
      if (o.mqtt.host.empty() || p == 0) {
        *error = "--mqtt wants HOST or HOST:PORT";
        return std::nullopt;
      }
      o.mqtt.port = static_cast<int>(p);
    } else if (arg == "--mqtt-user") {
      o.mqtt.user = value;
    } else if (arg == "--mqtt-password-file") {
      o.mqtt.passwordFile = value;
    } else if (arg == "--mqtt-cafile") {
      o.mqtt.caFile = value;
    } else if (arg == "--mqtt-prefix") {
      if (!CheckMqttPrefix(value, error)) return std::nullopt;
      o.mqtt.prefix = value;
    } else if (arg == "--discovery-prefix") {
      o.mqtt.discoveryPrefix = value;
    } else if (arg == "--mqtt-command-user") {
      o.mqtt.commandUser = value;
    } else {
      *error = std::string(arg) + ": unknown option";
      return std::nullopt;
    }
  }
  if (!o.addUser.empty() && o.usersFile.empty()) {
    *error = "--add-user needs --users FILE";
    return std::nullopt;
  }
  if (!o.http && o.mqtt.host.empty() && o.addUser.empty() && !o.help) {
    *error = "--http none leaves nothing to do without --mqtt";
    return std::nullopt;
  }
  if (o.web.tlsCert.empty() != o.web.tlsKey.empty()) {
    *error = "--tls-cert and --tls-key go together";
    return std::nullopt;
  }
  return o;
}
