#include "tools/support/TempDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

TEST(TempDirectory, GoesWithWhatItHoldsUnlessKeptAndThenSaysWhere) {
  const TempDir base;
  std::string dropped;
  {
    const TempDirectory dir(base.path(), "scratch");
    dropped = dir.path();
    fs::create_directories(dropped + "/debug");
    WriteFile(dropped + "/debug/slow.xml", "x");
  }
  EXPECT_FALSE(fs::exists(dropped));

  std::string kept;
  ::testing::internal::CaptureStderr();
  {
    const TempDirectory dir(base.path(), "scratch", true);
    kept = dir.path();
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "kept " + kept + "\n");
  EXPECT_TRUE(fs::is_directory(kept));
  EXPECT_EQ(kept.rfind(base.path() + "/scratch.", 0), 0u) << kept;
}

TEST(TempDirectory, AMissingBaseIsNamedInTheError) {
  try {
    const TempDirectory dir("/nonexistent/base", "scratch");
    FAIL() << "made " << dir.path();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "cannot create a temporary directory in /nonexistent/base");
  }
}
