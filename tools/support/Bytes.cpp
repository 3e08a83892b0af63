#include "tools/support/Bytes.h"

#include <random>

size_t CountOf(std::string_view text, std::string_view what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string RandomBytes(size_t count, uint32_t seed) {
  std::mt19937 gen(seed);
  std::string bytes(count, '\0');
  for (char& b : bytes) b = static_cast<char>(gen() & 0xFF);
  return bytes;
}
