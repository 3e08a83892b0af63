// The configuration look-up: FindProfileValue over INI text, and
// GetPrivateProfileString over the same text in a file, at the buffer sizes
// the program's callers use. Input: the section name, a line feed, the key,
// a line feed, then the INI text.

#include <cstdint>
#include <optional>
#include <string>

#include "devices/ProfileString.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TestInstallation& inst = SharedInstallation();
  std::string_view text = AsText(data, size);
  const std::string_view section = TakeLine(text);
  const std::string_view key = TakeLine(text);

  const std::optional<std::string> found = FindProfileValue(text, section, key);
  if (found) {
    // A value is a part of one line, without its line end.
    FUZZ_CHECK(found->find('\n') == std::string::npos);
    FUZZ_CHECK(found->size() <= text.size());
  }

  static const std::string path = inst.dir() + "/profile.ini";
  inst.writeFile(path, std::string(text));
  const std::string whole = found.value_or("DEFAULT");
  for (const size_t buffer : {size_t{0}, size_t{1}, size_t{8}, size_t{32}, size_t{256}}) {
    const std::string value =
        GetPrivateProfileString(inst.files(), section, key, "DEFAULT", buffer, path);
    // The file gives what the text gives, cut to the buffer.
    FUZZ_CHECK(value == whole.substr(0, buffer == 0 ? 0 : buffer - 1));
  }
  return 0;
}
