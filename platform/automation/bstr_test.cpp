#include "platform/automation/bstr.h"

#include <gtest/gtest.h>

#include "platform/automation/variant.h"

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

TEST(BstrTest, PiecewiseConversionMatchesTheWholeAtEveryCut) {
  // Pairs, a high half before a pair, unpaired halves at both ends, zeros.
  const std::u16string text = {0xDC00, u'a',      0xD83D, 0xDE00, 0xD800, 0xD83D, 0xDE00,
                               0,      u'\u00E9', 0xDBFF, 0xDFFF, u'z',   0xD800};
  const std::string whole = Utf16ToUtf8(text);
  EXPECT_EQ(whole,
            "\xEF\xBF\xBD"
            "a\xF0\x9F\x98\x80\xEF\xBF\xBD\xF0\x9F\x98\x80" +
                std::string(1, '\0') + "\xC3\xA9\xF4\x8F\xBF\xBFz\xEF\xBF\xBD");
  for (size_t first = 1; first <= text.size(); ++first) {
    for (size_t rest = 1; rest <= text.size(); ++rest) {
      std::string pieces;
      std::u16string_view left = text;
      size_t max_units = first;
      while (!left.empty()) {
        size_t taken = AppendUtf8Piece(left, max_units, &pieces);
        ASSERT_GE(taken, 1u);
        ASSERT_LE(taken, left.size());
        left.remove_prefix(taken);
        max_units = rest;
      }
      EXPECT_EQ(pieces, whole) << "first piece " << first << ", then " << rest;
    }
  }
}

TEST(BstrTest, StringsGoStraightIntoTheirBstr) {
  {
    // Decoded into the BSTR directly, malformed bytes included.
    const std::string text = "a\xFF\xF0\x9F\x98\x80\xE6\x97";
    Bstr b(text);
    EXPECT_EQ(std::u16string(b.get(), SysStringLen(b.get())), Utf8ToUtf16(text));
    EXPECT_EQ(std::u16string(b.get(), SysStringLen(b.get())), u"a\uFFFD\U0001F600\uFFFD\uFFFD");
    EXPECT_EQ(b.get()[SysStringLen(b.get())], 0);
  }
  {
    // UTF-16 units are kept as they are, down to unpaired halves and zeros.
    const char16_t units[] = {0xD800, 0, u'b'};
    Bstr b(std::u16string_view(units, 3));
    ASSERT_EQ(SysStringLen(b.get()), 3u);
    EXPECT_EQ(std::u16string_view(b.get(), 3), std::u16string_view(units, 3));
    // A variant takes the string over: the very same units, no copy.
    BSTR held = b.get();
    Variant v(std::move(b));
    EXPECT_EQ(b.get(), nullptr);
    EXPECT_EQ(v.get().bstrVal, held);
  }
}

}  // namespace
}  // namespace verdanpost
