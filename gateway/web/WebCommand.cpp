#include "gateway/web/WebCommand.h"

#include <cstdint>
#include <optional>

#include <nlohmann/json.hpp>

#include "gateway/commands/CommandArguments.h"
#include "protocol/RequestLine.h"

namespace {

using nlohmann::json;

std::optional<ChannelMode> modeOf(const json& mode) {
  return mode.is_string() ? ParseChannelMode(mode.get<std::string>()) : std::nullopt;
}

WebCommand refused(const char* why) { return {"", why}; }

}  // namespace

WebCommand CheckWebCommand(WebCommandKind kind, long n, std::string_view body, std::string_view user) {
  const json b = json::parse(body, nullptr, false);
  if (!b.is_object()) return refused("Der Inhalt ist kein JSON-Objekt.");
  switch (kind) {
    case WebCommandKind::Mode: {
      const std::optional<ChannelMode> mode = modeOf(b.value("mode", json()));
      if (!IsChannel(n) || !mode) return refused("Kanal 0 ... 31 und mode aus, ein, uhr oder slave erwartet.");
      return {DoutRequest(user, static_cast<int>(n), *mode), ""};
    }
    case WebCommandKind::Timer: {
      const std::optional<TimerArguments> timer = ParseTimerArguments(b);
      static_assert(kTimerMinutesMax == 100000, "the reason names the limit");
      if (!IsChannel(n) || !timer) {
        return refused("Kanal 0 ... 31, minutes 0 ... 100000 und on true oder false erwartet.");
      }
      return {TimerRequest(user, static_cast<int>(n), timer->minutes, timer->on), ""};
    }
    case WebCommandKind::Mask: {
      const json mask = b.value("mask", json());
      const std::optional<ChannelMode> mode = modeOf(b.value("mode", json()));
      if (!mask.is_number_integer() || mask.get<int64_t>() < 0 || mask.get<int64_t>() > int64_t{UINT32_MAX} ||
          !mode) {
        return refused("mask 0 ... 4294967295 und mode aus, ein, uhr oder slave erwartet.");
      }
      return {MaskRequest(user, static_cast<uint32_t>(mask.get<int64_t>()), *mode), ""};
    }
    case WebCommandKind::Enable: {
      const json enabled = b.value("enabled", json());
      if (!enabled.is_boolean()) return refused("enabled true oder false erwartet.");
      return {EnableRequest(user, enabled.get<bool>()), ""};
    }
  }
  return refused("Unbekanntes Kommando.");
}
