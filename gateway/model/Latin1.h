#pragma once

#include <optional>
#include <string>
#include <string_view>

// The system's texts are single bytes of ISO 8859-1 ("K\xFCche"); JSON, MQTT
// and the page are UTF-8. The gateway converts at its edges, here.

std::string Latin1ToUtf8(std::string_view latin1);

// Nothing when utf8 is not well-formed UTF-8 or holds a character the
// system cannot write (beyond U+00FF).
std::optional<std::string> Utf8ToLatin1(std::string_view utf8);
