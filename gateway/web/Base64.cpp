#include "gateway/web/Base64.h"

#include <cstdint>

std::optional<std::string> Base64Decode(std::string_view in) {
  static const std::string_view kDigits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (const char c : in) {
    if (c == '=') break;
    const size_t v = kDigits.find(c);
    if (v == std::string_view::npos) return std::nullopt;
    bits = (bits << 6) | static_cast<uint32_t>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}
