#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "gateway/commands/CommandArguments.h"

// A command that came in on MQTT: PREFIX/out/N/mode/set (ein),
// PREFIX/out/N/timer/set ({"minutes":30,"on":true}) or PREFIX/enable/set
// ("ON"/"OFF"). request is its request line for user (ISO 8859-1); error
// says, in German, why a message could not be taken.
struct MqttCommand {
  std::string request;
  std::string error;
};

// Nothing for a topic that is not a command topic under prefix.
std::optional<MqttCommand> ParseMqttCommand(const std::string& prefix, std::string_view topic,
                                            std::string_view payload, std::string_view user);

// What PREFIX/error repeats of a message's topic or payload: at most
// kEchoMax bytes of it, cut at a UTF-8 character's start and ended by
// "\u2026" when cut, so a payload of any size gives an error of a few
// hundred bytes.
constexpr size_t kEchoMax = 200;
std::string EchoOf(std::string_view text);
