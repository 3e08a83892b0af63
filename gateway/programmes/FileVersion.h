#pragma once

#include <string>
#include <string_view>

// What tells one content of a file from another, for saving only over the
// content an editor was given: 64-bit FNV-1a of the bytes as 16 hex digits.
// Not a defence against anyone: a writer who wants a clash can make one.
std::string FileVersion(std::string_view bytes);
