#include "protocol/ChannelMode.h"

namespace {

// By mode number: the one place the names are written.
constexpr std::array<std::string_view, 4> kNames = {"aus", "ein", "uhr", "slave"};

}  // namespace

std::string_view ChannelModeName(ChannelMode mode) { return kNames[static_cast<size_t>(mode)]; }

std::optional<ChannelMode> ParseChannelMode(std::string_view name) {
  for (const ChannelMode mode : kChannelModes) {
    if (ChannelModeName(mode) == name) return mode;
  }
  return std::nullopt;
}
