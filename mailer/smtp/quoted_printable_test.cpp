#include "mailer/smtp/quoted_printable.h"

#include <gtest/gtest.h>

namespace verdanpost {
namespace {

std::string Encode(std::string_view text) {
  QuotedPrintableEncoder encoder;
  std::string out;
  encoder.Encode(text, &out);
  encoder.Finish(&out);
  return out;
}

TEST(QuotedPrintableTest, EncodesWhatMayNotStand) {
  EXPECT_EQ(Encode("plain text\r\n"), "plain text\r\n");
  EXPECT_EQ(Encode("a=b\xC3\xA9\x01"), "a=3Db=C3=A9=01");
  // Blanks before a line end, and at the very end, are encoded; inside a
  // line they stand.
  EXPECT_EQ(Encode("a b \r\nc\t\nd "), "a b=20\r\nc=09\r\nd=20");
  // LF and CR alone become CR LF.
  EXPECT_EQ(Encode("a\nb\rc"), "a\r\nb\r\nc");
}

TEST(QuotedPrintableTest, BreaksLongLinesSoftly) {
  std::string text(200, 'x');
  std::string out = Encode(text);
  EXPECT_EQ(out.substr(0, 78), std::string(75, 'x') + "=\r\n");
  EXPECT_EQ(DecodeQuotedPrintable(out), text);
  // An encoded byte is never split by a soft break.
  out = Encode(std::string(74, 'x') + "\xFF");
  EXPECT_EQ(out, std::string(74, 'x') + "=\r\n=FF");
}

TEST(QuotedPrintableTest, PiecesGiveTheSameAsTheWhole) {
  std::string text = "line one \r\n" + std::string(90, 'z') + "\r\n=end \t";
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    QuotedPrintableEncoder encoder;
    std::string out;
    encoder.Encode(std::string_view(text).substr(0, cut), &out);
    encoder.Encode(std::string_view(text).substr(cut), &out);
    encoder.Finish(&out);
    EXPECT_EQ(out, Encode(text)) << cut;
  }
}

}  // namespace
}  // namespace verdanpost
