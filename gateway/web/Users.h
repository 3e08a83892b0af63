#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

// The users file: one user a line, "name:hash", the hash as crypt(3) writes
// it; empty lines and lines starting with "#" are skipped. Only strong
// hashes are taken: SHA-512 ("$6$"), yescrypt ("$y$"), scrypt ("$7$") and
// bcrypt ("$2b$"). Names are UTF-8.
class Users {
 public:
  // Nothing, with *error saying which line and why, when the file cannot be
  // read or holds a line that is not a user with a strong hash.
  static std::optional<Users> Load(const std::string& path, std::string* error);
  // The same from the file's text; path only names the file in *error.
  static std::optional<Users> Parse(std::string_view text, const std::string& path,
                                    std::string* error);

  // True when name exists and password is its password.
  bool check(std::string_view name, std::string_view password) const;
  bool empty() const { return hashes_.empty(); }

  // The crypt(3) SHA-512 hash of password with a fresh random salt; empty
  // when the system cannot make one.
  static std::string Hash(std::string_view password);

  // Adds name to the file at path, or gives it a new password, replacing the
  // file whole with owner-only permissions; false with *error when it fails.
  static bool Set(const std::string& path, std::string_view name, std::string_view password,
                  std::string* error);

 private:
  std::map<std::string, std::string, std::less<>> hashes_;
};
