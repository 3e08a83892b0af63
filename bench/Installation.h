#pragma once

#include <string>

#include "tools/support/TempDirectory.h"

// A fresh installation in a new directory under base: run/ with the
// configuration (the server's working directory) and debug/ beside it.
// Removed at the end unless kept.
class TempInstallation {
 public:
  TempInstallation(const std::string& base, bool keep);

  const std::string& root() const { return root_.path(); }
  std::string run() const { return root() + "/run"; }

 private:
  TempDirectory root_;
};

// The name of a statfs type magic, e.g. "ext4"; "file system 0x..." for
// others.
std::string FileSystemTypeName(unsigned long type);

// The type of the file system path is on, "?" when statfs fails.
std::string FileSystemOf(const std::string& path);
