#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>

#include "platform/MemoryFileSystem.h"
#include "platform/PosixFileSystem.h"
#include "tests/support/TempDir.h"

namespace {

// The contract both implementations keep, run over each.
class FileSystemContract : public ::testing::TestWithParam<bool> {
 protected:
  std::string at(const std::string& name) const { return dir.path() + "/" + name; }

  TempDir dir;
  std::unique_ptr<FileSystem> files = GetParam() ? std::unique_ptr<FileSystem>(new PosixFileSystem)
                                                 : std::make_unique<MemoryFileSystem>();
};

TEST_P(FileSystemContract, MissingFileReadsAsNothing) {
  EXPECT_EQ(files->readWhole(at("none")), std::nullopt);
  EXPECT_FALSE(files->readTail(at("none"), 4).has_value());
}

TEST_P(FileSystemContract, AppendCreatesThenGrowsAndKeepsEveryByte) {
  const std::string bytes("a\0b\n", 4);
  EXPECT_TRUE(files->append(at("log"), bytes));
  EXPECT_TRUE(files->append(at("log"), "cd"));
  EXPECT_EQ(files->readWhole(at("log")), bytes + "cd");
}

TEST_P(FileSystemContract, TailIsTheLastBytesWithTheWholeSize) {
  ASSERT_TRUE(files->replace(at("log"), "0123456789"));
  const auto tail = files->readTail(at("log"), 4);
  ASSERT_TRUE(tail.has_value());
  EXPECT_EQ(tail->bytes, "6789");
  EXPECT_EQ(tail->size, 10u);
  EXPECT_EQ(files->readTail(at("log"), 10)->bytes, "0123456789");
  EXPECT_EQ(files->readTail(at("log"), 11)->bytes, "0123456789");
}

TEST_P(FileSystemContract, ReplaceSwapsTheWholeFileAndLeavesNoTemporary) {
  ASSERT_TRUE(files->replace(at("fast.xml"), "old and long"));
  ASSERT_TRUE(files->replace(at("fast.xml"), "new"));
  EXPECT_EQ(files->readWhole(at("fast.xml")), "new");
  EXPECT_EQ(files->readWhole(at("fast.xml.tmp")), std::nullopt);
  ASSERT_TRUE(files->replaceDurably(at("fast.xml"), "durable"));
  EXPECT_EQ(files->readWhole(at("fast.xml")), "durable");
  EXPECT_EQ(files->readWhole(at("fast.xml.tmp")), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Both, FileSystemContract, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Posix" : "Memory"; });

TEST(PosixFileSystem, DirectoryCanNeitherBeReadNorAppendedTo) {
  TempDir dir;
  PosixFileSystem files;
  EXPECT_EQ(files.readWhole(dir.path()), std::nullopt);
  EXPECT_FALSE(files.readTail(dir.path(), 8).has_value());
  EXPECT_FALSE(files.append(dir.path(), "x"));
}

TEST(PosixFileSystem, FailedReplaceKeepsNothingAndReportsFailure) {
  TempDir dir;
  PosixFileSystem files;
  const std::string target = dir.path() + "/fast.xml";
  std::filesystem::create_directories(target + "/occupied");  // rename cannot replace it
  EXPECT_FALSE(files.replace(target, "text"));
  EXPECT_FALSE(files.replaceDurably(target, "text"));
  EXPECT_EQ(FileNamesIn(dir.path()), std::set<std::string>{"fast.xml"});
  EXPECT_TRUE(std::filesystem::is_directory(target));
}

TEST(MemoryFileSystem, FailuresOnCommandKeepTheBytesUntilHealed) {
  MemoryFileSystem files;
  ASSERT_TRUE(files.replace("/i/run/../debug/slow.xml", "v1"));
  EXPECT_EQ(files.paths(), std::vector<std::string>{"/i/debug/slow.xml"});
  files.failWrites("/i/debug/slow.xml");
  EXPECT_FALSE(files.replace("/i/debug/slow.xml", "v2"));
  EXPECT_FALSE(files.append("/i/debug/slow.xml", "v2"));
  files.failReads("/i/debug/./slow.xml");
  EXPECT_EQ(files.readWhole("/i/debug/slow.xml"), std::nullopt);
  files.heal("/i/debug/slow.xml");
  EXPECT_EQ(files.readWhole("/i/debug/slow.xml"), "v1");
}

}  // namespace
