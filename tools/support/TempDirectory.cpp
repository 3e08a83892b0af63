#include "tools/support/TempDirectory.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

TempDirectory::TempDirectory(const std::string& base, const std::string& prefix, bool keep)
    : keep_(keep) {
  std::string pattern = base + "/" + prefix + ".XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a temporary directory in " + base);
  }
  path_ = pattern;
}

TempDirectory::~TempDirectory() {
  if (keep_) {
    std::fprintf(stderr, "kept %s\n", path_.c_str());
  } else {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
}
