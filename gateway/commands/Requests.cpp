#include "gateway/commands/Requests.h"

#include "gateway/model/Latin1.h"

namespace {

std::string begin(std::string_view command, std::string_view user) {
  std::string line = "cmd=";
  line += command;
  line += "&username=";
  line += user;
  return line;
}

}  // namespace

std::string DoutRequest(std::string_view user, int n, std::string_view mode) {
  return begin("dout", user) + "&outn=" + std::to_string(n) + "&mode=" + std::string(mode);
}

std::string TimerRequest(std::string_view user, int n, int minutes, bool on) {
  return begin("dout_timer", user) + "&outn=" + std::to_string(n) +
         "&time=" + std::to_string(minutes) + "&output=" + (on ? "true" : "false");
}

std::string MaskRequest(std::string_view user, uint32_t mask, std::string_view mode) {
  // The server reads a signed 32-bit mask: bit 31 is its negative range.
  return begin("dout_bin", user) + "&mask=" + std::to_string(static_cast<int32_t>(mask)) +
         "&mode=" + std::string(mode);
}

std::string EnableRequest(std::string_view user, bool enabled) {
  return begin("debug", user) + "&enaoutp=" + (enabled ? "1" : "0");
}

bool IsOutputMode(std::string_view mode) {
  return mode == "aus" || mode == "ein" || mode == "uhr" || mode == "slave";
}

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
