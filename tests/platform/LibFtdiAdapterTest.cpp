#include <gtest/gtest.h>

#include "platform/LibFtdiAdapter.h"

namespace {

// These run against the machine's real USB; with an FTDI chip attached they
// have nothing to check and step aside.
TEST(LibFtdiAdapter, WithoutABoardListsNothingAndOpensNothing) {
  LibFtdiAdapter ftdi;
  uint32_t count = 99;
  ASSERT_EQ(ftdi.FT_CreateDeviceInfoList(&count), FT_OK);
  if (count > 0) GTEST_SKIP() << "an FTDI device is attached";
  EXPECT_EQ(count, 0u);

  FtDeviceInfo list[4];
  uint32_t room = 4;
  EXPECT_EQ(ftdi.FT_GetDeviceInfoList(list, &room), FT_OK);
  EXPECT_EQ(room, 0u);

  FtHandle handle = nullptr;
  EXPECT_NE(ftdi.FT_Open(0, &handle), FT_OK);
  EXPECT_NE(ftdi.FT_Open(-1, &handle), FT_OK);
  EXPECT_EQ(handle, nullptr);
}

TEST(LibFtdiAdapter, RefusesTheEmptyHandleAndHandlesItDidNotGiveOut) {
  LibFtdiAdapter ftdi;
  int stranger = 0;
  const uint8_t byte = 0x05;
  uint32_t written = 7;
  for (FtHandle handle : {FtHandle{nullptr}, FtHandle{&stranger}}) {
    EXPECT_NE(ftdi.FT_SetBitMode(handle, 0xFF, FT_BITMODE_SYNC_BITBANG), FT_OK);
    EXPECT_NE(ftdi.FT_Write(handle, &byte, 1, &written), FT_OK);
  }
  EXPECT_EQ(written, 7u);
}

}  // namespace
