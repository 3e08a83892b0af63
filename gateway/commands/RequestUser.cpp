#include "gateway/commands/RequestUser.h"

#include "gateway/model/Latin1.h"

std::optional<std::string> RequestUser(std::string_view utf8) {
  std::optional<std::string> user = Utf8ToLatin1(utf8);
  if (!user || user->empty()) return std::nullopt;
  for (const char c : *user) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '&' || c == '=' || b < 0x20 || b == 0x7F || (b >= 0x80 && b < 0xA0)) {
      return std::nullopt;
    }
  }
  return user;
}
