#include "platform/MemoryFileSystem.h"

#include <filesystem>

std::string MemoryFileSystem::Normal(const std::string& path) {
  return std::filesystem::path(path).lexically_normal().string();
}

bool MemoryFileSystem::readable(const std::string& normal) const {
  return files_.count(normal) != 0 && unreadable_.count(normal) == 0;
}

std::optional<std::string> MemoryFileSystem::readWhole(const std::string& path) {
  const std::string normal = Normal(path);
  if (!readable(normal)) return std::nullopt;
  return files_.at(normal);
}

std::optional<FileTail> MemoryFileSystem::readTail(const std::string& path, size_t max) {
  const std::string normal = Normal(path);
  if (!readable(normal)) return std::nullopt;
  const std::string& bytes = files_.at(normal);
  FileTail tail;
  tail.size = bytes.size();
  tail.bytes = bytes.size() > max ? bytes.substr(bytes.size() - max) : bytes;
  return tail;
}

bool MemoryFileSystem::append(const std::string& path, std::string_view bytes) {
  const std::string normal = Normal(path);
  if (unwritable_.count(normal) != 0) return false;
  files_[normal].append(bytes);
  return true;
}

bool MemoryFileSystem::replace(const std::string& path, std::string_view bytes) {
  const std::string normal = Normal(path);
  if (unwritable_.count(normal) != 0) return false;
  files_[normal] = std::string(bytes);
  return true;
}

// Memory has no power cut to survive.
bool MemoryFileSystem::replaceDurably(const std::string& path, std::string_view bytes) {
  return replace(path, bytes);
}

void MemoryFileSystem::heal(const std::string& path) {
  unreadable_.erase(Normal(path));
  unwritable_.erase(Normal(path));
}

std::vector<std::string> MemoryFileSystem::paths() const {
  std::vector<std::string> all;
  for (const auto& [path, bytes] : files_) all.push_back(path);
  return all;
}
