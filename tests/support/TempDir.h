#pragma once

#include <set>
#include <string>

#include "tools/support/TempDirectory.h"

// A fresh directory under /tmp, removed with everything in it at the end.
class TempDir : public TempDirectory {
 public:
  TempDir() : TempDirectory("/tmp", "tessaro-test") {}
};

// Whole-file helpers for tests.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// The names of the entries of a directory.
std::set<std::string> FileNamesIn(const std::string& dir);
