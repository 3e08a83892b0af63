// The scratch directories of the tests and the benchmark.
#pragma once

#include <string>

// A new empty directory under base named prefix.XXXXXX, removed with what it
// holds at the end unless kept (then its name goes to stderr, so a run by
// hand can be looked at afterwards). Throws std::runtime_error when the
// directory cannot be made.
class TempDirectory {
 public:
  TempDirectory(const std::string& base, const std::string& prefix, bool keep = false);
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool keep_;
};
