#pragma once

#include "platform/FileSystem.h"

// The files of the machine, through open/read/write/rename.
class PosixFileSystem final : public FileSystem {
 public:
  std::optional<std::string> readWhole(const std::string& path) override;
  std::optional<FileTail> readTail(const std::string& path, size_t max) override;
  bool append(const std::string& path, std::string_view bytes) override;
  bool replace(const std::string& path, std::string_view bytes) override;
  bool replaceDurably(const std::string& path, std::string_view bytes) override;

 private:
  static bool replaceFile(const std::string& path, std::string_view bytes, bool durable);
};
