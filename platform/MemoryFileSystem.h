#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

// Files kept in memory for tests and fuzzing, with failures on command.
// Paths are compared in their lexically normal form ("run/../debug/x" is
// "debug/x"); there are no directories, so any path can hold a file.
class MemoryFileSystem final : public FileSystem {
 public:
  std::optional<std::string> readWhole(const std::string& path) override;
  std::optional<FileTail> readTail(const std::string& path, size_t max) override;
  bool append(const std::string& path, std::string_view bytes) override;
  bool replace(const std::string& path, std::string_view bytes) override;
  bool replaceDurably(const std::string& path, std::string_view bytes) override;

  // From now on, reading path fails as for a directory, or writing it
  // (append and either replace) fails as on a full disk; the file keeps its bytes.
  void failReads(const std::string& path) { unreadable_.insert(Normal(path)); }
  void failWrites(const std::string& path) { unwritable_.insert(Normal(path)); }
  // Ends both kinds of failure for path.
  void heal(const std::string& path);

  bool exists(const std::string& path) const { return files_.count(Normal(path)) != 0; }
  void remove(const std::string& path) { files_.erase(Normal(path)); }
  // Every file's path, sorted.
  std::vector<std::string> paths() const;

  static std::string Normal(const std::string& path);

 private:
  bool readable(const std::string& normal) const;

  std::map<std::string, std::string> files_;
  std::set<std::string> unreadable_;
  std::set<std::string> unwritable_;
};
