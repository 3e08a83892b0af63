#include "gateway/commands/CommandArguments.h"

#include "protocol/ChannelMode.h"

bool IsChannel(long n) { return n >= 0 && n < kChannels; }

nlohmann::json ChannelModeNames() {
  nlohmann::json names = nlohmann::json::array();
  for (const ChannelMode m : kChannelModes) names.push_back(ChannelModeName(m));
  return names;
}

std::optional<TimerArguments> ParseTimerArguments(const nlohmann::json& body) {
  if (!body.is_object()) return std::nullopt;
  const nlohmann::json minutes = body.value("minutes", nlohmann::json());
  const nlohmann::json on = body.value("on", nlohmann::json());
  if (!minutes.is_number_integer() || minutes.get<int64_t>() < 0 ||
      minutes.get<int64_t>() > kTimerMinutesMax || !on.is_boolean()) {
    return std::nullopt;
  }
  return TimerArguments{minutes.get<int>(), on.get<bool>()};
}
