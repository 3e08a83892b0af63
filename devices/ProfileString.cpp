#include "devices/ProfileString.h"

#include "platform/FileSystem.h"

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string_view unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

// Calls f(line) for each line of text without its line end; stops when f
// returns false.
template <class F>
void forEachLine(std::string_view text, F f) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!f(line) || end == std::string_view::npos) return;
    text.remove_prefix(end + 1);
  }
}

}  // namespace

std::optional<std::string> FindProfileValue(std::string_view ini, std::string_view section,
                                            std::string_view key) {
  if (ini.substr(0, 3) == "\xEF\xBB\xBF") ini.remove_prefix(3);
  section = trim(section);
  key = trim(key);
  enum { Before, Inside, After } where = Before;
  std::optional<std::string> found;
  forEachLine(ini, [&](std::string_view raw) {
    const std::string_view line = trim(raw);
    if (line.empty() || line.front() == ';') return true;
    if (line.front() == '[') {
      if (where == Inside) {
        where = After;  // only the first matching section counts
        return false;
      }
      std::string_view name = line.substr(1);
      name = name.substr(0, name.find(']'));
      if (sameName(trim(name), section)) where = Inside;
      return true;
    }
    if (where != Inside) return true;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return true;
    if (!sameName(trim(line.substr(0, eq)), key)) return true;
    found = std::string(unquote(trim(line.substr(eq + 1))));
    return false;
  });
  return found;
}

std::string GetPrivateProfileString(FileSystem& files, std::string_view section,
                                    std::string_view key, const char* defaultValue,
                                    size_t bufferSize, const std::string& path) {
  std::string value = defaultValue ? defaultValue : "";
  if (const auto ini = files.readWhole(path)) {
    if (auto v = FindProfileValue(*ini, section, key)) value = std::move(*v);
  }
  if (bufferSize == 0) return std::string();
  if (value.size() > bufferSize - 1) value.resize(bufferSize - 1);
  return value;
}
