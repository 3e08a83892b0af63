#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// The modes of an output channel, by the numbers the server keeps them in,
// as the command port, the status files, the log and every client name them.
enum class ChannelMode : int32_t { Aus = 0, Ein = 1, Uhr = 2, Slave = 3 };

inline constexpr std::array<ChannelMode, 4> kChannelModes = {ChannelMode::Aus, ChannelMode::Ein,
                                                            ChannelMode::Uhr, ChannelMode::Slave};

// The mode's name, as every side of the interface writes it.
std::string_view ChannelModeName(ChannelMode mode);

// The mode of exactly its name (with case); nothing for any other text.
std::optional<ChannelMode> ParseChannelMode(std::string_view name);
