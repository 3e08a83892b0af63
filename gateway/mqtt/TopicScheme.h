#pragma once

#include <string>
#include <string_view>
#include <vector>

// The MQTT face's topics under its prefix, written once for what it
// publishes, the commands it takes and the discovery configs that name both
// (docs/mqtt.md). Home Assistant's own topics ("homeassistant/...") are the
// discovery prefix's, not these.

inline std::string StatusTopic(std::string_view prefix) { return std::string(prefix) + "/status"; }
inline std::string LogTopic(std::string_view prefix) { return std::string(prefix) + "/log"; }
inline std::string ErrorTopic(std::string_view prefix) { return std::string(prefix) + "/error"; }
inline std::string EnableTopic(std::string_view prefix) { return std::string(prefix) + "/enable"; }

// "out/N": the part of a channel's topics below the prefix.
inline std::string OutputBase(int n) { return "out/" + std::to_string(n); }
// PREFIX/out/N; its values are the levels below it (mode, state, timer, ...).
inline std::string OutputTopic(std::string_view prefix, int n) {
  return std::string(prefix) + "/" + OutputBase(n);
}

// The topic that takes commands for a value's topic: "...mode" -> "...mode/set".
inline std::string CommandTopic(std::string_view topic) { return std::string(topic) + "/set"; }

// The command topics as subscriptions: every channel's mode and timer, and
// output enable.
inline std::vector<std::string> CommandFilters(std::string_view prefix) {
  const std::string outputs = std::string(prefix) + "/out/+";
  return {CommandTopic(outputs + "/mode"), CommandTopic(outputs + "/timer"), CommandTopic(EnableTopic(prefix))};
}
