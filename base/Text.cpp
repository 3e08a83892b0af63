#include "base/Text.h"

#include <cstdio>
#include <limits>

void vappendf(std::string& out, const char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  char small[256];
  const int n = std::vsnprintf(small, sizeof small, format, args);
  if (n > 0 && static_cast<size_t>(n) < sizeof small) {
    out.append(small, static_cast<size_t>(n));
  } else if (n > 0) {
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(n) + 1);
    std::vsnprintf(out.data() + at, static_cast<size_t>(n) + 1, format, again);
    out.resize(at + static_cast<size_t>(n));
  }
  va_end(again);
}

void appendf(std::string& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vappendf(out, format, args);
  va_end(args);
}

std::string vformatCut(size_t max, const char* format, va_list args) {
  std::string text;
  vappendf(text, format, args);
  if (text.size() > max) text.resize(max);
  return text;
}

std::string formatCut(size_t max, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = vformatCut(max, format, args);
  va_end(args);
  return text;
}

std::string cut(std::string_view text, size_t max) {
  return std::string(text.substr(0, max));
}

std::string xmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '\t':
      case '\n':
      case '\r': out += c; break;
      default: out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    }
  }
  return out;
}

int64_t parseInt64(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                             text[i] == '\r' || text[i] == '\v' || text[i] == '\f')) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulate towards the sign so that INT64_MIN itself is reachable.
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    if (negative) {
      if (value < (kMin + digit) / 10) return kMin;
      value = value * 10 - digit;
    } else {
      if (value > (kMax - digit) / 10) return kMax;
      value = value * 10 + digit;
    }
  }
  return value;
}

int32_t parseInt(std::string_view text) {
  const int64_t v = parseInt64(text);
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}
