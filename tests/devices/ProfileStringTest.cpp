#include <gtest/gtest.h>

#include "devices/ProfileString.h"
#include "platform/MemoryFileSystem.h"

namespace {

TEST(ProfileString, NamesMatchWithoutRegardToCaseAndBlanksAroundThem) {
  const char* ini = "[ devices ]\n  DEV0 =  dummy_io  \n";
  EXPECT_EQ(FindProfileValue(ini, "Devices", "dev0"), "dummy_io");
}

TEST(ProfileString, FirstSectionAndFirstKeyWin) {
  const char* ini = "[A]\nk=1\nk=2\n[B]\nk=3\n[a]\nk=4\nj=5\n";
  EXPECT_EQ(FindProfileValue(ini, "a", "k"), "1");
  EXPECT_EQ(FindProfileValue(ini, "B", "k"), "3");
  EXPECT_EQ(FindProfileValue(ini, "a", "j"), std::nullopt);  // only in the second [a]
}

TEST(ProfileString, QuotesAroundTheWholeValueGo) {
  EXPECT_EQ(FindProfileValue("[s]\nk=\"a b\"\n", "s", "k"), "a b");
  EXPECT_EQ(FindProfileValue("[s]\nk='x'\n", "s", "k"), "x");
  EXPECT_EQ(FindProfileValue("[s]\nk=\"x'\n", "s", "k"), "\"x'");
  EXPECT_EQ(FindProfileValue("[s]\nk=\"\n", "s", "k"), "\"");
}

TEST(ProfileString, CommentsOnlyAtTheStartOfALine) {
  const char* ini = "[s]\n ; k=1\nk=2 ; not a comment\n";
  EXPECT_EQ(FindProfileValue(ini, "s", "k"), "2 ; not a comment");
}

TEST(ProfileString, CrLfEndsAndByteOrderMark) {
  EXPECT_EQ(FindProfileValue("\xEF\xBB\xBF[s]\r\nk=v\r\n", "s", "k"), "v");
}

TEST(ProfileString, ValueKeepsFurtherEqualsSigns) {
  EXPECT_EQ(FindProfileValue("[s]\nk=a=b\n", "s", "k"), "a=b");
}

TEST(ProfileString, MissingSectionKeyOrFileGiveTheDefault) {
  MemoryFileSystem files;
  const std::string path = "x.ini";
  EXPECT_EQ(GetPrivateProfileString(files, "s", "k", nullptr, 32, path), "");
  EXPECT_EQ(GetPrivateProfileString(files, "s", "k", "./KlimaLogg.dat1", 32, path),
            "./KlimaLogg.dat1");
  files.replace(path, "[s]\nk=\n[t]\n");
  EXPECT_EQ(GetPrivateProfileString(files, "s", "k", "d", 32, path), "");
  EXPECT_EQ(GetPrivateProfileString(files, "t", "k", "d", 32, path), "d");
}

TEST(ProfileString, ValueIsCutToBufferSizeLessOne) {
  MemoryFileSystem files;
  const std::string path = "x.ini";
  files.replace(path, "[s]\nk=" + std::string(40, 'x') + "\n");
  EXPECT_EQ(GetPrivateProfileString(files, "s", "k", nullptr, 32, path), std::string(31, 'x'));
  EXPECT_EQ(GetPrivateProfileString(files, "s", "k", nullptr, 8, path), std::string(7, 'x'));
}

TEST(ProfileString, FileIsReadAfreshAtEveryCall) {
  MemoryFileSystem files;
  const std::string path = "x.ini";
  files.replace(path, "[s]\nk=1\n");
  EXPECT_EQ(GetPrivateProfileString(files, "s", "k", nullptr, 32, path), "1");
  files.replace(path, "[s]\nk=2\n");
  EXPECT_EQ(GetPrivateProfileString(files, "s", "k", nullptr, 32, path), "2");
}

}  // namespace
