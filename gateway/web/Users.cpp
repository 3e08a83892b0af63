#include "gateway/web/Users.h"

#include <crypt.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "gateway/commands/RequestUser.h"
#include "platform/PosixFileSystem.h"

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

std::vector<std::string> linesOf(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string line(text.substr(0, end));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return lines;
}

bool skipped(const std::string& line) { return line.empty() || line.front() == '#'; }

// Writes text to a new file beside path (made with O_EXCL, so no link or
// file left there is followed), owner-only, on the disk before it replaces
// path.
bool replaceSecretly(const std::string& path, const std::string& text) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = fchmod(fd, 0600) == 0;
  for (size_t at = 0; ok && at < text.size();) {
    const ssize_t n = write(fd, text.data() + at, text.size() - at);
    ok = n > 0;
    if (ok) at += static_cast<size_t>(n);
  }
  ok = fsync(fd) == 0 && ok;
  ok = close(fd) == 0 && ok;
  if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace

std::optional<Users> Users::Load(const std::string& path, std::string* error) {
  struct stat st {};
  const std::optional<std::string> text = PosixFileSystem().readWhole(path);
  if (!text || stat(path.c_str(), &st) != 0) {
    *error = path + ": cannot be read";
    return std::nullopt;
  }
  // Whoever may write the file may make himself a user.
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    *error = path + ": others than its owner may write it (chmod 600 " + path + ")";
    return std::nullopt;
  }
  return Parse(*text, path, error);
}

std::optional<Users> Users::Parse(std::string_view text, const std::string& where, std::string* error) {
  const std::vector<std::string> lines = linesOf(text);
  Users users;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (skipped(line)) continue;
    const size_t colon = line.find(':');
    const std::string at = where + ":" + std::to_string(i + 1) + ": ";
    if (colon == std::string::npos || !validName(line.substr(0, colon))) {
      *error = at + "not \"name:hash\"";
      return std::nullopt;
    }
    const std::string hash = line.substr(colon + 1);
    if (!strongHash(hash)) {
      *error = at + "the hash is not SHA-512, yescrypt, scrypt or bcrypt";
      return std::nullopt;
    }
    users.hashes_.emplace(line.substr(0, colon), hash);
  }
  return users;
}

bool Users::check(std::string_view name, std::string_view password) const {
  if (hashes_.empty()) return false;
  const auto it = hashes_.find(name);
  const bool known = it != hashes_.end();
  const std::string& hash = known ? it->second : hashes_.begin()->second;
  crypt_data data{};
  const char* result = crypt_r(std::string(password).c_str(), hash.c_str(), &data);
  if (result == nullptr || result[0] == '*') return false;
  // Compares every byte, so the time taken tells nothing about the hash.
  const std::string_view got = result;
  if (got.size() != hash.size()) return false;
  unsigned char differ = 0;
  for (size_t i = 0; i < got.size(); ++i) differ |= static_cast<unsigned char>(got[i] ^ hash[i]);
  return known && differ == 0;
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
  if (!validName(name) || !RequestUser(name)) {
    *error = "a user name must be UTF-8 of characters that ISO 8859-1 can write, without \":\", "
             "\"&\", \"=\" or control characters: the server logs commands under it";
    return false;
  }
  const std::string hash = Hash(password);
  if (hash.empty()) {
    *error = "no password hash could be made";
    return false;
  }
  const std::optional<std::string> old = PosixFileSystem().readWhole(path);
  std::vector<std::string> lines = linesOf(old.value_or(""));
  const std::string entry = std::string(name) + ":" + hash;
  bool replaced = false;
  for (std::string& line : lines) {
    if (!skipped(line) && line.substr(0, line.find(':')) == name) {
      line = entry;
      replaced = true;
    }
  }
  if (!replaced) lines.push_back(entry);
  std::string text;
  for (const std::string& line : lines) text += line + '\n';
  if (!replaceSecretly(path, text)) {
    *error = path + ": cannot be written";
    return false;
  }
  return true;
}
