#include "mailer/smtp/content_encoder.h"

#include <gtest/gtest.h>

#include <random>

namespace verdanpost {
namespace {

// Encodes `pieces` in order with one encoder.
std::string Encode(std::initializer_list<std::string_view> pieces) {
  ContentEncoder encoder;
  std::string out;
  for (std::string_view piece : pieces) encoder.Encode(piece, &out);
  return out;
}

TEST(ContentEncoderTest, LineEndsAndDots) {
  EXPECT_EQ(Encode({"a\nb\rc\r\nd"}), "a\r\nb\r\nc\r\nd");
  EXPECT_EQ(Encode({".\r\n"}), "..\r\n");
  EXPECT_EQ(Encode({"x\r\n.\r\n.y\n..z"}), "x\r\n..\r\n..y\r\n...z");
  EXPECT_EQ(Encode({"\n\n"}), "\r\n\r\n");
  EXPECT_EQ(Encode({"\r\r\n"}), "\r\n\r\n");
  EXPECT_EQ(Encode({"a.b\r\n"}), "a.b\r\n");
}

TEST(ContentEncoderTest, StateCarriesAcrossPieces) {
  EXPECT_EQ(Encode({"a\r", "\nb"}), "a\r\nb");  // one CR LF, split
  EXPECT_EQ(Encode({"a\r", "\r\n"}), "a\r\n\r\n");
  EXPECT_EQ(Encode({"a\n", ".b"}), "a\r\n..b");
  EXPECT_EQ(Encode({"a\r", ".b"}), "a\r\n..b");
  EXPECT_EQ(Encode({"a", ".b"}), "a.b");
  EXPECT_EQ(Encode({"", ".", "", "\n"}), "..\r\n");
}

// The encoding one byte at a time, as the rules say it: the encoder copies
// runs of bytes and must give exactly this.
std::string EncodeByteByByte(std::string_view content) {
  std::string out;
  bool line_start = true;
  bool after_cr = false;
  for (char c : content) {
    bool lf_of_crlf = c == '\n' && after_cr;
    after_cr = false;
    if (lf_of_crlf) continue;
    if (c == '\r' || c == '\n') {
      out += "\r\n";
      after_cr = c == '\r';
      line_start = true;
      continue;
    }
    if (line_start && c == '.') out += '.';
    line_start = false;
    out += c;
  }
  return out;
}

TEST(ContentEncoderTest, RunsGiveTheSameBytesWhereverPiecesEnd) {
  std::mt19937 random(7);
  const char alphabet[] = {'a', '.', '\r', '\n', 'b'};
  for (int round = 0; round < 2000; ++round) {
    std::string content(random() % 64, ' ');
    for (char& c : content) c = alphabet[random() % std::size(alphabet)];
    ContentEncoder encoder;
    std::string out;
    for (size_t at = 0; at < content.size();) {
      size_t length = std::min<size_t>(random() % 6, content.size() - at);  // empty pieces too
      encoder.Encode(std::string_view(content).substr(at, length), &out);
      at += length;
    }
    ASSERT_EQ(out, EncodeByteByByte(content)) << "content: " << testing::PrintToString(content);
  }
}

}  // namespace
}  // namespace verdanpost
