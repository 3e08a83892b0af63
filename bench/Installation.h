#pragma once

#include <string>

// A fresh installation in a new directory under base: run/ with the
// configuration (the server's working directory), debug/ beside it, and the
// server's console output. Removed at the end unless kept.
class TempInstallation {
 public:
  TempInstallation(const std::string& base, bool keep);
  ~TempInstallation();
  TempInstallation(const TempInstallation&) = delete;
  TempInstallation& operator=(const TempInstallation&) = delete;

  const std::string& root() const { return root_; }
  std::string run() const { return root_ + "/run"; }
  std::string console() const { return root_ + "/console.txt"; }

 private:
  std::string root_;
  bool keep_;
};

// The name of a statfs type magic, e.g. "ext4"; "file system 0x..." for
// others.
std::string FileSystemTypeName(unsigned long type);

// The type of the file system path is on, "?" when statfs fails.
std::string FileSystemOf(const std::string& path);
