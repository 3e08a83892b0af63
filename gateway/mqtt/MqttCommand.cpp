#include "gateway/mqtt/MqttCommand.h"

#include <charconv>
#include <nlohmann/json.hpp>

#include "gateway/mqtt/TopicScheme.h"
#include "protocol/RequestLine.h"

namespace {

bool take(std::string_view& text, std::string_view part) {
  if (text.substr(0, part.size()) != part) return false;
  text.remove_prefix(part.size());
  return true;
}

// The channel number of "N/...": text up to its "/" is taken; -1 unless it
// is 0 ... 31.
int channel(std::string_view& text) {
  const std::string_view digits = text.substr(0, text.find('/'));
  text.remove_prefix(digits.size());
  int n = -1;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  return ec == std::errc() && end == digits.data() + digits.size() && IsChannel(n) ? n : -1;
}

MqttCommand refused(const char* why) { return {"", why}; }

}  // namespace

std::optional<MqttCommand> ParseMqttCommand(const std::string& prefix, std::string_view topic,
                                            std::string_view payload, std::string_view user) {
  if (topic == CommandTopic(EnableTopic(prefix))) {
    if (payload == "ON" || payload == "OFF") return MqttCommand{EnableRequest(user, payload == "ON"), ""};
    return refused("ON oder OFF erwartet");
  }
  // PREFIX/out/N/mode/set or .../timer/set, N one level.
  const std::string outputs = OutputTopic(prefix, 0);
  if (!take(topic, std::string_view(outputs).substr(0, outputs.size() - 1))) return std::nullopt;
  const int n = channel(topic);
  const std::string modeSet = CommandTopic("/mode"), timerSet = CommandTopic("/timer");
  if (topic != modeSet && topic != timerSet) return std::nullopt;
  if (n < 0) return refused("Kanal 0 ... 31 erwartet");
  if (topic == modeSet) {
    const std::optional<ChannelMode> mode = ParseChannelMode(payload);
    if (!mode) return refused("aus, ein, uhr oder slave erwartet");
    return MqttCommand{DoutRequest(user, n, *mode), ""};
  }
  const std::optional<TimerArguments> timer =
      ParseTimerArguments(nlohmann::json::parse(payload, nullptr, false));
  if (!timer) {
    static_assert(kTimerMinutesMax == 100000, "the reason names the limit");
    return refused("{\"minutes\":0 ... 100000,\"on\":true|false} erwartet");
  }
  return MqttCommand{TimerRequest(user, n, timer->minutes, timer->on), ""};
}

std::string EchoOf(std::string_view text) {
  if (text.size() <= kEchoMax) return std::string(text);
  size_t cut = kEchoMax;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return std::string(text.substr(0, cut)) + "\u2026";
}
