#include "base/Text.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(ParseInt, ReadsLikeAtoiWithClamping) {
  EXPECT_EQ(parseInt("42"), 42);
  EXPECT_EQ(parseInt("  -7x"), -7);
  EXPECT_EQ(parseInt("+3"), 3);
  EXPECT_EQ(parseInt("abc"), 0);
  EXPECT_EQ(parseInt(""), 0);
  EXPECT_EQ(parseInt("- 5"), 0);
  EXPECT_EQ(parseInt("99999999999"), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(parseInt("-99999999999"), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(parseInt64("-9223372036854775808"), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(parseInt64("99999999999999999999"), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(parseInt64("3000000001"), 3000000001LL);
}

TEST(XmlEscape, WritesTheThreeMarkupCharactersAsEntities) {
  EXPECT_EQ(xmlEscape("a<b>&c\xE4"), "a&lt;b&gt;&amp;c\xE4");
  // XML 1.0 forbids the bytes below 0x20 but these three.
  EXPECT_EQ(xmlEscape(std::string("\x00\x01\x08\x0B\x1F", 5)), "?????");
  EXPECT_EQ(xmlEscape("\t\n\r \x7F\x80\xFF"), "\t\n\r \x7F\x80\xFF");
}

TEST(FormatCut, CutsLongResults) {
  EXPECT_EQ(formatCut(5, "%s-%d", "abc", 42), "abc-4");
  EXPECT_EQ(formatCut(1023, "%s", std::string(2000, 'x').c_str()).size(), 1023u);
  std::string out = "x";
  appendf(out, "%s", std::string(600, 'y').c_str());
  EXPECT_EQ(out.size(), 601u);
}

}  // namespace
