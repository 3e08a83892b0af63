#pragma once

#include <optional>
#include <string>
#include <string_view>

// A UTF-8 name as a request's username: its ISO 8859-1 bytes ("\xE4rger" for
// "ärger"), so that its initial stands in the log. Nothing for an empty name,
// one that ISO 8859-1 cannot write, or one holding "&", "=" or a control
// character, which would change the request.
std::optional<std::string> RequestUser(std::string_view utf8);
