// Messages on the MQTT command topics: ParseMqttCommand on a topic (the
// input up to its first line feed) and a payload (the rest), under the
// prefix "tessaro", for every command payload: a mode, a timer, output
// enable. A message is no command, or a reason, or a request line that the
// server's own parser splits into exactly the parameters of the command the
// topic names, with values the server takes.

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/RequestParser.h"
#include "fuzz/FuzzSupport.h"
#include "gateway/commands/RequestUser.h"
#include "protocol/RequestLine.h"
#include "gateway/mqtt/MqttCommand.h"

namespace {

std::string_view Param(const ParamTable& p, std::string_view name) {
  const char* v = p.GetParam(name);
  return v == nullptr ? std::string_view() : std::string_view(v);
}

// A number of decimal digits only, within [0, max].
bool Number(std::string_view text, int64_t max, int64_t* value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return false;
  return std::from_chars(text.data(), text.data() + text.size(), *value).ec == std::errc() &&
         *value <= max;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view payload = AsText(data, size);
  const std::string_view topic = TakeLine(payload);
  const std::optional<MqttCommand> c = ParseMqttCommand("tessaro", topic, payload, "mqtt");

  // tessaro/out/N/mode/set and .../timer/set with N one level (the
  // subscriptions' "+"), and tessaro/enable/set.
  const auto channelTopic = [&](std::string_view end) {
    return topic.size() >= 12 + end.size() && topic.starts_with("tessaro/out/") &&
           topic.ends_with(end) &&
           topic.substr(12, topic.size() - 12 - end.size()).find('/') == std::string_view::npos;
  };
  const bool enable = topic == "tessaro/enable/set";
  const bool mode = channelTopic("/mode/set");
  const bool timer = channelTopic("/timer/set");
  FUZZ_CHECK(c.has_value() == (enable || mode || timer));
  if (!c) return 0;
  FUZZ_CHECK(c->request.empty() != c->error.empty());
  FUZZ_CHECK(EchoOf(topic).size() <= kEchoMax + 3 && EchoOf(payload).size() <= kEchoMax + 3);
  if (c->request.empty()) return 0;

  FUZZ_CHECK(c->request.size() <= ParamTable::kMaxLine);
  FUZZ_CHECK(c->request.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
  ParamTable p;
  FUZZ_CHECK(p.split(c->request) == ParamTable::Split::Ok);
  FUZZ_CHECK(Param(p, "username") == "mqtt");
  const std::string_view cmd = Param(p, "cmd");
  int64_t v = 0;
  if (enable) {
    FUZZ_CHECK(cmd == "debug" && p.count() == 3);
    FUZZ_CHECK(Param(p, "enaoutp") == (payload == "ON" ? "1" : "0"));
    return 0;
  }
  // The channel is the topic's (leading zeros and all), 0 ... 31.
  FUZZ_CHECK(Number(topic.substr(12, topic.find('/', 12) - 12), 31, &v));
  FUZZ_CHECK(Param(p, "outn") == std::to_string(v));
  if (mode) {
    FUZZ_CHECK(cmd == "dout" && p.count() == 4);
    FUZZ_CHECK(Param(p, "mode") == payload && ParseChannelMode(payload));
  } else {
    FUZZ_CHECK(cmd == "dout_timer" && p.count() == 5);
    FUZZ_CHECK(Number(Param(p, "time"), kTimerMinutesMax, &v));
    FUZZ_CHECK(Param(p, "output") == "true" || Param(p, "output") == "false");
  }
  return 0;
}
