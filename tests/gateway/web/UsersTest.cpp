#include "gateway/web/Users.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/TempDir.h"

namespace {

TEST(Users, SetUsersLogInWithTheirPasswordOnly) {
  TempDir dir;
  const std::string path = dir.path() + "/users";
  WriteFile(path, "# Tessaro\n\n");
  std::string error;
  ASSERT_TRUE(Users::Set(path, "anna", "geheim", &error)) << error;
  ASSERT_TRUE(Users::Set(path, "\u00e4rger", "x", &error)) << error;
  ASSERT_TRUE(Users::Set(path, "anna", "neu", &error)) << error;  // a new password

  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadFile(path).rfind("# Tessaro\n\nanna:$6$", 0), 0u) << ReadFile(path);

  const std::optional<Users> users = Users::Load(path, &error);
  ASSERT_TRUE(users) << error;
  EXPECT_TRUE(users->check("anna", "neu"));
  EXPECT_FALSE(users->check("anna", "geheim"));
  EXPECT_FALSE(users->check("anna", "ne"));
  EXPECT_TRUE(users->check("\u00e4rger", "x"));
  EXPECT_FALSE(users->check("bert", "neu"));
}

TEST(Users, FileWithAWeakOrMissingHashIsRefusedWithItsLine) {
  TempDir dir;
  const std::string path = dir.path() + "/users";
  std::string error;
  for (const char* line : {"anna:$1$salt$md5hash", "anna:abcDESxyz", "anna", ":$6$x$y"}) {
    SCOPED_TRACE(line);
    WriteFile(path, std::string("ok:") + Users::Hash("p") + "\n" + line + "\n");
    EXPECT_FALSE(Users::Load(path, &error));
    EXPECT_NE(error.find("users:2:"), std::string::npos) << error;
  }
  EXPECT_FALSE(Users::Load(dir.path() + "/none", &error));
}

TEST(Users, OnlyNamesTheServerCanLogAreSetAndNoLinkBesideTheFileIsFollowed) {
  TempDir dir;
  const std::string path = dir.path() + "/users";
  const std::string bystander = dir.path() + "/bystander";
  WriteFile(bystander, "kept\n");
  ASSERT_EQ(symlink(bystander.c_str(), (path + ".tmp").c_str()), 0);
  std::string error;
  for (const char* name : {"a&b", "a=b", "a:b", "a\x7F", "\u20ac", "\xC3", "a\x01", ""}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(Users::Set(path, name, "x", &error));
    EXPECT_NE(error.find("ISO 8859-1"), std::string::npos) << error;
  }
  ASSERT_TRUE(Users::Set(path, "anna", "x", &error)) << error;
  EXPECT_EQ(ReadFile(bystander), "kept\n");

  chmod(path.c_str(), 0620);
  EXPECT_FALSE(Users::Load(path, &error));
  EXPECT_NE(error.find("others than its owner may write it"), std::string::npos) << error;
  chmod(path.c_str(), 0640);
  EXPECT_TRUE(Users::Load(path, &error)) << error;
}

}  // namespace
