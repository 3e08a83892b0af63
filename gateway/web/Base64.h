#pragma once

#include <optional>
#include <string>
#include <string_view>

// Standard base64 (RFC 4648) with or without padding; nothing for any other
// character. For the Authorization header of HTTP Basic authentication.
std::optional<std::string> Base64Decode(std::string_view in);
