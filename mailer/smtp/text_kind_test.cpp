#include "mailer/smtp/text_kind.h"

#include <gtest/gtest.h>

namespace verdanpost {
namespace {

TEST(TextKindTest, KindsOfWholeTexts) {
  EXPECT_EQ(KindOfText(""), TextKind::kAscii);
  EXPECT_EQ(KindOfText("plain\r\n.\0text"), TextKind::kAscii);
  EXPECT_EQ(KindOfText("Zoë ✓ 😀 \u07ff\uffff\U0010ffff"), TextKind::kUtf8);
  const char* not_utf8[] = {
      "Zo\xeb",            // Latin-1
      "\xc3",              // cut short at the end
      "\xc3x",             // cut short by an ASCII byte
      "\x80",              // a continuation byte alone
      "\xc0\xaf",          // overlong "/"
      "\xe0\x80\xaf",      // overlong, three bytes
      "\xf0\x80\x80\xaf",  // overlong, four bytes
      "\xed\xa0\x80",      // a UTF-16 surrogate
      "\xf4\x90\x80\x80",  // beyond U+10FFFF
      "\xf5\x80\x80\x80",  // no such lead byte
      "\xff",
  };
  for (const char* text : not_utf8) {
    SCOPED_TRACE(text);
    EXPECT_EQ(KindOfText(text), TextKind::kOther);
  }
}

TEST(TextKindTest, CharacterSplitBetweenPieces) {
  const std::string text = "a😀b€";
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    for (size_t cut2 = cut; cut2 <= text.size(); ++cut2) {
      TextKindScanner scanner;
      scanner.Add(std::string_view(text).substr(0, cut));
      scanner.Add(std::string_view(text).substr(cut, cut2 - cut));
      // Pieces read as the same text in one piece would.
      EXPECT_EQ(scanner.kind(), KindOfText(text.substr(0, cut2))) << cut << " " << cut2;
      scanner.Add(std::string_view(text).substr(cut2));
      EXPECT_EQ(scanner.kind(), TextKind::kUtf8) << cut << " " << cut2;
    }
  }
}

}  // namespace
}  // namespace verdanpost
