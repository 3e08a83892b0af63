// tessaro_client: sends one request to a Tessaro server's command port and
// prints the reply, for scripts and cron jobs.
//
// Exit status: 0 when the reply is exactly "ok\r\n", 1 for any other reply,
// 2 for a usage error (nothing is sent), 3 when no connection could be made
// or no reply came in time.
//
// The request goes through the system's one client of the command port
// (protocol/CommandPortClient): it waits for the port to be its own and
// takes the reply as complete when the server closes the connection.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/TcpClient.h"
#include "protocol/CommandPortClient.h"
#include "protocol/RequestLine.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitOtherReply = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoReply = 3;

// The server's line buffer holds 1023 characters; a longer line is refused.
constexpr size_t kMaxLine = 1023;

const char kUsage[] =
    "usage: tessaro_client [options] COMMAND ARGUMENTS...\n"
    "       tessaro_client [options] --raw 'cmd=...&username=...&...'\n"
    "Sends one request to a Tessaro server and prints its reply.\n"
    "\n"
    "Commands:\n"
    "  dout OUTN MODE               set the mode of output OUTN (0-31):\n"
    "                               aus, ein, uhr or slave\n"
    "  dout_bin MASK MODE           set the mode of every output whose bit is set\n"
    "                               in MASK (decimal, up to 4294967295)\n"
    "  dout_timer OUTN MINUTES ON   force output OUTN on (ON = true) or off\n"
    "                               (ON = false) for MINUTES; 0 ends a timer\n"
    "  debug ENAOUTP                1 lets the devices write their outputs,\n"
    "                               0 stops them\n"
    "\n"
    "Options:\n"
    "  --host A.B.C.D   server address, IPv4 dotted (default 127.0.0.1)\n"
    "  --port N         command port (default 1969)\n"
    "  --user NAME      user name for the event log (default $USER, else client)\n"
    "  --raw LINE       send LINE as it is (CR LF is added unless it ends in LF)\n"
    "  --timeout MS     give up after MS milliseconds in all (default 5000)\n"
    "  --help           show this text\n"
    "\n"
    "Exit status: 0 reply \"ok\", 1 any other reply, 2 usage error,\n"
    "3 no connection or no reply.\n";

struct Options {
  std::string host = "127.0.0.1";
  uint32_t address = 0;
  int port = 1969;
  std::string user;
  std::optional<std::string> raw;
  int timeoutMs = 5000;
  std::vector<std::string> words;  // the command and its arguments
};

struct UsageError {
  std::string message;
};

// A decimal integer in [low, high], with an optional sign; nothing else.
std::optional<int64_t> ParseDecimal(std::string_view text, int64_t low, int64_t high) {
  size_t at = 0;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  if (at == text.size()) return std::nullopt;
  int64_t value = 0;
  for (; at < text.size(); ++at) {
    if (text[at] < '0' || text[at] > '9') return std::nullopt;
    value = value * 10 + (text[at] - '0');
    if (value > 10000000000) return std::nullopt;  // far out of every range here
  }
  if (negative) value = -value;
  if (value < low || value > high) return std::nullopt;
  return value;
}

int64_t NumberArgument(const std::string& what, const std::string& text, int64_t low,
                       int64_t high) {
  const std::optional<int64_t> value = ParseDecimal(text, low, high);
  if (!value) {
    throw UsageError{what + " must be a decimal number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ": " + text};
  }
  return *value;
}

// "&" would start another parameter and a line end would end the request.
std::string ValueArgument(const std::string& what, const std::string& text) {
  if (text.find_first_of("&\r\n") != std::string::npos) {
    throw UsageError{what + " must not contain '&', CR or LF: " + text};
  }
  return text;
}

Options ParseArguments(int argc, char** argv, bool& help) {
  Options o;
  const char* envUser = std::getenv("USER");
  o.user = envUser != nullptr && *envUser != '\0' ? envUser : "client";

  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      if (arg == "-h" && !optionsEnded) {
        help = true;
        return o;
      }
      o.words.push_back(arg);  // negative numbers such as -1 are words too
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help") {
      help = true;
      return o;
    }
    // --name value or --name=value
    std::string name = arg;
    std::optional<std::string> value;
    if (const size_t eq = arg.find('='); eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    }
    if (name != "--host" && name != "--port" && name != "--user" && name != "--raw" &&
        name != "--timeout") {
      throw UsageError{"unknown option " + name};
    }
    if (!value) {
      if (i + 1 >= argc) throw UsageError{name + " needs a value"};
      value = argv[++i];
    }
    if (name == "--host") {
      o.host = *value;
    } else if (name == "--port") {
      o.port = static_cast<int>(NumberArgument("--port", *value, 1, 65535));
    } else if (name == "--user") {
      o.user = *value;
    } else if (name == "--raw") {
      o.raw = *value;
    } else {
      o.timeoutMs = static_cast<int>(NumberArgument("--timeout", *value, 1, 3600000));
    }
  }

  // Host names are not looked up; inet_addr's answer for an invalid text is
  // the same as for the broadcast address, which is no server either.
  o.address = ParseIPv4(o.host);
  if (o.address == 0xFFFFFFFFu) throw UsageError{"--host must be an IPv4 address: " + o.host};
  ValueArgument("--user", o.user);
  return o;
}

// The request line, CR LF included.
std::string BuildRequest(const Options& o) {
  if (o.raw) {
    if (!o.words.empty()) throw UsageError{"--raw takes no command besides it"};
    std::string line = *o.raw;
    const size_t end = line.find_first_of("\r\n");
    if (end != std::string::npos && line.find_first_not_of("\r\n", end) != std::string::npos) {
      throw UsageError{"--raw sends one line: no CR or LF before its end"};
    }
    if (line.empty() || line.back() != '\n') line += "\r\n";
    return line;
  }
  if (o.words.empty()) throw UsageError{"no command given"};

  const std::string& cmd = o.words[0];
  const std::vector<std::string> args(o.words.begin() + 1, o.words.end());
  auto expect = [&](size_t count, const char* form) {
    if (args.size() != count) throw UsageError{std::string("usage: ") + form};
  };
  RequestLine line(cmd, o.user);
  if (cmd == "dout") {
    expect(2, "dout OUTN MODE");
    line.add("outn", NumberArgument("OUTN", args[0], 0, 31)).add("mode", ValueArgument("MODE", args[1]));
  } else if (cmd == "dout_bin") {
    expect(2, "dout_bin MASK MODE");
    // The server reads a signed 32-bit mask; bit 31 alone is its lowest value.
    const int64_t mask = NumberArgument("MASK", args[0], INT32_MIN, UINT32_MAX);
    line.add("mask", static_cast<int32_t>(static_cast<uint32_t>(mask))).add("mode", ValueArgument("MODE", args[1]));
  } else if (cmd == "dout_timer") {
    expect(3, "dout_timer OUTN MINUTES true|false");
    line.add("outn", NumberArgument("OUTN", args[0], 0, 31));
    line.add("time", NumberArgument("MINUTES", args[1], 0, INT32_MAX));
    // The server takes every text but "true" as off; a typo must not do that.
    if (args[2] != "true" && args[2] != "false") {
      throw UsageError{"ON must be true or false: " + args[2]};
    }
    line.add("output", args[2]);
  } else if (cmd == "debug") {
    expect(1, "debug ENAOUTP");
    line.add("enaoutp", NumberArgument("ENAOUTP", args[0], INT32_MIN, INT32_MAX));
  } else {
    throw UsageError{"unknown command " + cmd};
  }
  return line.text() + "\r\n";
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string line;
  try {
    bool help = false;
    options = ParseArguments(argc, argv, help);
    if (help) {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
    line = BuildRequest(options);
    if (line.find('\n') > kMaxLine) throw UsageError{"the request line is too long"};
  } catch (const UsageError& e) {
    std::fprintf(stderr, "tessaro_client: %s\nTry 'tessaro_client --help'.\n", e.message.c_str());
    return kExitUsage;
  }

  CommandTarget target;
  target.address = options.address;
  target.port = static_cast<uint16_t>(options.port);
  // One try to connect; the time-out is the whole exchange's.
  target.connectFor = std::chrono::milliseconds(0);
  target.busyFor = target.replyFor = target.within = std::chrono::milliseconds(options.timeoutMs);
  target.probeUser = "client";
  const CommandResult result = ExchangeCommand(target, line);
  const std::string& reply = result.bytes;
  if (!result.connected) {
    std::fprintf(stderr, "tessaro_client: cannot connect to %s:%d\n", options.host.c_str(),
                 options.port);
    return kExitNoReply;
  }
  if (result.status == CommandResult::Status::Unreachable) {
    std::fprintf(stderr, "tessaro_client: no reply from %s:%d within %d ms\n", options.host.c_str(),
                 options.port, options.timeoutMs);
    return kExitNoReply;
  }

  // The reply's bytes as they came (ISO 8859-1 texts stay single bytes).
  std::fwrite(reply.data(), 1, reply.size(), stdout);
  if (reply.back() != '\n') std::fputc('\n', stdout);
  std::fflush(stdout);
  return reply == "ok\r\n" ? kExitOk : kExitOtherReply;
}
