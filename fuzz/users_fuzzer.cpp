// The users file of the gateway's logins: Users::Parse on the file's text.
// Either every line is skipped or a user with a strong hash, or the error
// names the file, the line it stopped at and why.

#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "gateway/web/Users.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = AsText(data, size);
  std::string error;
  const std::optional<Users> users = Users::Parse(text, "users", &error);
  if (users) {
    FUZZ_CHECK(error.empty());
    // No name holds ":" or a control character, so none of them is a user.
    FUZZ_CHECK(!users->check(":", "") && !users->check("a\nb", ""));
    return 0;
  }
  // "users:LINE: why", LINE one of the text's lines.
  FUZZ_CHECK(error.starts_with("users:"));
  const size_t colon = error.find(':', 6);
  FUZZ_CHECK(colon != std::string::npos && colon > 6);
  const size_t line = std::stoul(error.substr(6, colon - 6));
  size_t lines = 1;
  for (const char c : text) lines += c == '\n';
  FUZZ_CHECK(line >= 1 && line <= lines);
  const std::string why = error.substr(colon + 2);
  FUZZ_CHECK(why == "not \"name:hash\"" ||
             why == "the hash is not SHA-512, yescrypt, scrypt or bcrypt");
  return 0;
}
