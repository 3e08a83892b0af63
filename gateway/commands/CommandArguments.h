#pragma once

#include <optional>

#include <nlohmann/json.hpp>

// What a command from the web or MQTT may ask, checked the same on both
// faces before a request line is built.

inline constexpr int kChannels = 32;  // channel numbers 0 ... 31

// The longest timer a command may start, in minutes (69 days). Home
// Assistant's timer numbers go as far, so every value they show is one a
// command could have set.
inline constexpr int kTimerMinutesMax = 100000;

bool IsChannel(long n);

// The names of the modes a command may set, as a JSON array in the
// server's order, as the faces offer them.
nlohmann::json ChannelModeNames();

struct TimerArguments {
  int minutes = 0;  // 0 ends a running timer
  bool on = true;
};

// {"minutes": 0 ... kTimerMinutesMax, "on": true|false}; nothing for
// anything else.
std::optional<TimerArguments> ParseTimerArguments(const nlohmann::json& body);
