#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tests/support/TestInstallation.h"
#include "tests/support/Xml.h"

// A property every input must keep; a violation is a finding like a crash.
#define FUZZ_CHECK(cond)                                                              \
  do {                                                                                \
    if (!(cond)) {                                                                    \
      std::fprintf(stderr, "FUZZ_CHECK failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      std::abort();                                                                   \
    }                                                                                 \
  } while (0)

// The text is well-formed XML as expat reads it (every text a client or a
// configuration places in a status file escaped, every element closed).
inline void CheckWellFormed(std::string_view xml) {
  const XmlDocument doc = ParseXml(xml);
  if (!doc.error.empty()) {
    std::fprintf(stderr, "not well-formed: %s\n", doc.error.c_str());
    std::abort();
  }
}

// One installation (its files in memory), clock and console for the whole
// process: a fresh one per input would cost more than the input itself.
// Each input sets the clock and clears the console before it starts.
inline TestInstallation& SharedInstallation() {
  static TestInstallation installation;
  return installation;
}

// A fixed moment, so every run of an input does the same: Wednesday
// 2026-12-09 12:00:30, local time is UTC in the installation.
inline int64_t FuzzNow() { return At(2026, 12, 9, 12, 0, 30); }

inline std::string_view AsText(const uint8_t* data, size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

// The text up to the first line feed, and the rest behind it (lets a seed
// carry a short parameter in its first line, readable in an editor).
inline std::string_view TakeLine(std::string_view& text) {
  const size_t lf = text.find('\n');
  const std::string_view line = text.substr(0, lf);
  text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
  return line;
}
