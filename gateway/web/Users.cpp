#include "gateway/web/Users.h"

#include <crypt.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

namespace {

bool strongHash(std::string_view hash) {
  for (const std::string_view prefix : {"$6$", "$y$", "$7$", "$2b$"}) {
    if (hash.substr(0, prefix.size()) == prefix) return true;
  }
  return false;
}

bool validName(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name) {
    if (c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

std::vector<std::string> linesIn(std::string_view text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find('\n', at), text.size());
    std::string line(text.substr(at, end - at));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    at = end + 1;
  }
  return lines;
}

std::string textOf(const std::string& path, bool* readable) {
  std::ifstream in(path, std::ios::binary);
  *readable = static_cast<bool>(in);
  std::ostringstream text;
  if (*readable) text << in.rdbuf();
  return text.str();
}

bool skipped(const std::string& line) { return line.empty() || line.front() == '#'; }

}  // namespace

std::optional<Users> Users::Load(const std::string& path, std::string* error) {
  bool readable = false;
  const std::string text = textOf(path, &readable);
  if (!readable) {
    *error = path + ": cannot be read";
    return std::nullopt;
  }
  return Parse(text, path, error);
}

std::optional<Users> Users::Parse(std::string_view text, const std::string& path,
                                  std::string* error) {
  const std::vector<std::string> lines = linesIn(text);
  Users users;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (skipped(line)) continue;
    const size_t colon = line.find(':');
    const std::string where = path + ":" + std::to_string(i + 1) + ": ";
    if (colon == std::string::npos || !validName(line.substr(0, colon))) {
      *error = where + "not \"name:hash\"";
      return std::nullopt;
    }
    const std::string hash = line.substr(colon + 1);
    if (!strongHash(hash)) {
      *error = where + "the hash is not SHA-512, yescrypt, scrypt or bcrypt";
      return std::nullopt;
    }
    users.hashes_.emplace(line.substr(0, colon), hash);
  }
  return users;
}

bool Users::check(std::string_view name, std::string_view password) const {
  const auto it = hashes_.find(name);
  if (it == hashes_.end()) return false;
  crypt_data data{};
  const char* result = crypt_r(std::string(password).c_str(), it->second.c_str(), &data);
  if (result == nullptr || result[0] == '*') return false;
  // Compares every byte, so the time taken tells nothing about the hash.
  const std::string_view got = result;
  if (got.size() != it->second.size()) return false;
  unsigned char differ = 0;
  for (size_t i = 0; i < got.size(); ++i) differ |= static_cast<unsigned char>(got[i] ^ it->second[i]);
  return differ == 0;
}

std::string Users::Hash(std::string_view password) {
  char salt[CRYPT_GENSALT_OUTPUT_SIZE];
  if (crypt_gensalt_rn("$6$", 0, nullptr, 0, salt, sizeof salt) == nullptr) return "";
  crypt_data data{};
  const char* result = crypt_r(std::string(password).c_str(), salt, &data);
  if (result == nullptr || result[0] == '*') return "";
  return result;
}

bool Users::Set(const std::string& path, std::string_view name, std::string_view password,
                std::string* error) {
  if (!validName(name)) {
    *error = "a user name may not be empty or hold \":\" or control characters";
    return false;
  }
  const std::string hash = Hash(password);
  if (hash.empty()) {
    *error = "no password hash could be made";
    return false;
  }
  bool readable = false;
  std::vector<std::string> lines = linesIn(textOf(path, &readable));
  const std::string entry = std::string(name) + ":" + hash;
  bool replaced = false;
  for (std::string& line : lines) {
    if (!skipped(line) && line.substr(0, line.find(':')) == name) {
      line = entry;
      replaced = true;
    }
  }
  if (!replaced) lines.push_back(entry);

  const std::string temp = path + ".tmp";
  const mode_t old = umask(077);
  std::ofstream out(temp, std::ios::trunc);
  umask(old);
  chmod(temp.c_str(), 0600);  // also when an old temporary file was left
  for (const std::string& line : lines) out << line << '\n';
  out.close();
  if (!out || std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    *error = path + ": cannot be written";
    return false;
  }
  return true;
}
