// The gateway's edge between the system's ISO 8859-1 and UTF-8, and the
// request lines it builds from what web and MQTT clients send.
#include <gtest/gtest.h>

#include "gateway/model/Latin1.h"
#include "gateway/commands/RequestUser.h"
#include "protocol/RequestLine.h"

namespace {

TEST(Latin1, ConvertsEveryByteBothWays) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Latin1ToUtf8("K\xFC" "che"), "K\u00fcche");
  EXPECT_EQ(Utf8ToLatin1(Latin1ToUtf8(all)), all);
}

TEST(Latin1, RefusesWhatTheSystemCannotWrite) {
  for (const char* utf8 : {"\u20ac", "\xC3", "\xC3(", "\xFF", "\xE2\x82\xAC", "\xC0\x80"}) {
    SCOPED_TRACE(utf8);
    EXPECT_FALSE(Utf8ToLatin1(utf8));
  }
}

TEST(Requests, UserNamesThatWouldChangeTheRequestAreRefused) {
  EXPECT_EQ(RequestUser("\u00e4rger"), "\xE4rger");
  EXPECT_EQ(RequestUser("anna maria"), "anna maria");
  for (const char* name : {"", "a&cmd=debug", "a=b", "a\r\nb", "tab\t", "\u0085x", "\u20ac"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(RequestUser(name));
  }
}

TEST(Requests, LinesCarryExactlyTheCheckedValues) {
  EXPECT_EQ(DoutRequest("\xE4", 3, ChannelMode::Ein), "cmd=dout&username=\xE4&outn=3&mode=ein");
  EXPECT_EQ(TimerRequest("a", 0, 30, false),
            "cmd=dout_timer&username=a&outn=0&time=30&output=false");
  EXPECT_EQ(MaskRequest("a", 0x80000001u, ChannelMode::Aus),
            "cmd=dout_bin&username=a&mask=-2147483647&mode=aus");
  EXPECT_EQ(EnableRequest("a", true), "cmd=debug&username=a&enaoutp=1");
  EXPECT_EQ(ParseChannelMode("slave"), ChannelMode::Slave);
  EXPECT_FALSE(ParseChannelMode("Ein"));
  EXPECT_EQ(ProbeRequest("gateway"), "cmd=debug&username=gateway");
}

}  // namespace
