#pragma once

#include <string>

// A fresh installation in a new directory under base: run/ with the
// configuration (the server's working directory) and debug/ beside it.
// Removed at the end unless kept.
class TempInstallation {
 public:
  TempInstallation(const std::string& base, bool keep);
  ~TempInstallation();
  TempInstallation(const TempInstallation&) = delete;
  TempInstallation& operator=(const TempInstallation&) = delete;

  const std::string& root() const { return root_; }
  std::string run() const { return root_ + "/run"; }

 private:
  std::string root_;
  bool keep_;
};

// A new empty directory under base named prefix.XXXXXX, removed with what
// it holds at the end unless kept.
class TempDirectory {
 public:
  TempDirectory(const std::string& base, const std::string& prefix, bool keep);
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool keep_;
};

// The name of a statfs type magic, e.g. "ext4"; "file system 0x..." for
// others.
std::string FileSystemTypeName(unsigned long type);

// The type of the file system path is on, "?" when statfs fails.
std::string FileSystemOf(const std::string& path);
