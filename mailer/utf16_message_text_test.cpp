#include "mailer/utf16_message_text.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/automation/bstr.h"

namespace verdanpost {
namespace {

constexpr size_t kPiece = Utf16MessageText::kPieceUnits;

// Two pieces and a bit, with a pair across the first cut, a zero and an
// unpaired half at the end.
std::u16string TextAcrossPieces() {
  std::u16string text(kPiece - 1, u'x');
  text += u"\U0001F600";  // its high half is the first piece's last unit
  text += u'\0';
  text.append(kPiece, u'\u00E9');
  text += static_cast<char16_t>(0xDC00);
  return text;
}

TEST(Utf16MessageTextTest, PiecesJoinToTheWholeTextWithPairsKeptWhole) {
  const std::u16string text = TextAcrossPieces();
  std::vector<std::string> pieces;
  Outcome outcome = Utf16MessageText(text).ForEachPiece([&](std::string_view piece) {
    pieces.emplace_back(piece);
    return Outcome::Fine();
  });
  EXPECT_TRUE(outcome.ok());
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0], std::string(kPiece - 1, 'x') + "\xF0\x9F\x98\x80");
  std::string joined;
  for (const std::string& piece : pieces) joined += piece;
  EXPECT_EQ(joined, Utf16ToUtf8(text));
}

TEST(Utf16MessageTextTest, AFailedPieceEndsTheText) {
  const std::u16string text = TextAcrossPieces();
  int calls = 0;
  Outcome outcome = Utf16MessageText(text).ForEachPiece([&](std::string_view) {
    return ++calls == 2 ? Outcome::ContentNotWritten() : Outcome::Fine();
  });
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(outcome.ok());
  EXPECT_EQ(outcome.message(), "Could not write message to the server");
}

TEST(Utf16MessageTextTest, KindIsAsciiOrUtf8SinceTheConversionIsAlwaysValid) {
  EXPECT_EQ(Utf16MessageText(std::u16string_view(u"a\0\x7F\r\n", 5)).kind(), TextKind::kAscii);
  EXPECT_EQ(Utf16MessageText(u"Zo\u00EB").kind(), TextKind::kUtf8);
  const char16_t unpaired[] = {u'a', 0xD800};  // goes out as U+FFFD
  EXPECT_EQ(Utf16MessageText(std::u16string_view(unpaired, 2)).kind(), TextKind::kUtf8);
}

}  // namespace
}  // namespace verdanpost
