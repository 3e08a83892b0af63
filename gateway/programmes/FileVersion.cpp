#include "gateway/programmes/FileVersion.h"

#include <cstdint>
#include <cstdio>

std::string FileVersion(std::string_view bytes) {
  uint64_t hash = 0xcbf29ce484222325u;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3u;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}
