#include "platform/automation/bstr.h"

#include <gtest/gtest.h>

namespace verdanpost {
namespace {

TEST(BstrTest, Utf8RoundTripsKeepEveryCharacter) {
  {
    // Latin, CJK and an emoji outside the basic plane (a surrogate pair).
    const std::string text =
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80!";
    Bstr b(text);
    EXPECT_EQ(SysStringLen(b.get()), 12u);  // 5 + 1 + 2 + 1 + 2 + 1 units
    EXPECT_EQ(b.get()[9], 0xD83D);
    EXPECT_EQ(b.get()[10], 0xDE00);
    EXPECT_EQ(b.get()[12], 0);
    EXPECT_EQ(b.ToUtf8(), text);
  }
  {
    // Embedded zeros are part of the length, not its end.
    const char16_t units[] = {u'a', 0, u'b'};
    BSTR b = SysAllocStringLen(units, 3);
    EXPECT_EQ(SysStringLen(b), 3u);
    EXPECT_EQ(BstrToUtf8(b), std::string("a\0b", 3));
    SysFreeString(b);
  }
  {
    EXPECT_EQ(BstrToUtf8(nullptr), "");
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    Bstr empty("");
    ASSERT_NE(empty.get(), nullptr);
    EXPECT_EQ(SysStringLen(empty.get()), 0u);
  }
}

TEST(BstrTest, MalformedInputBecomesReplacementCharacter) {
  {
    const char16_t lone[] = {u'x', 0xD800, u'y', 0xDC00};
    EXPECT_EQ(Utf16ToUtf8(std::u16string_view(lone, 4)), "x\xEF\xBF\xBDy\xEF\xBF\xBD");
  }
  {
    EXPECT_EQ(Utf8ToUtf16("a\xFF"
                          "b"),
              u"a\uFFFDb");
    EXPECT_EQ(Utf8ToUtf16("\xE6\x97"), u"\uFFFD\uFFFD");            // cut short
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  }
}

}  // namespace
}  // namespace verdanpost
