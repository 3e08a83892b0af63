#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The command port's request lines, built from checked values only, so that
// nothing a web or MQTT client sends can add a parameter or a line.
// user is the request's username in ISO 8859-1 (see RequestUser).

std::string DoutRequest(std::string_view user, int n, std::string_view mode);
std::string TimerRequest(std::string_view user, int n, int minutes, bool on);
std::string MaskRequest(std::string_view user, uint32_t mask, std::string_view mode);
std::string EnableRequest(std::string_view user, bool enabled);

// aus, ein, uhr or slave.
bool IsOutputMode(std::string_view mode);

// A UTF-8 name as a request's username: its ISO 8859-1 bytes ("\xE4rger" for
// "ärger"), so that its initial stands in the log. Nothing for an empty name,
// one that ISO 8859-1 cannot write, or one holding "&", "=" or a control
// character, which would change the request.
std::optional<std::string> RequestUser(std::string_view utf8);
