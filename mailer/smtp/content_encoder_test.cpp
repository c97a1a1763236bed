#include "mailer/smtp/content_encoder.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace verdanpost
