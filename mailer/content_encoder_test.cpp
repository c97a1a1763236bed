#include "mailer/content_encoder.h"

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

// What a receiving server does: take the dots added and keep the lines.
std::string Decode(const std::string& wire) {
  std::string out;
  bool line_start = true;
  for (size_t i = 0; i < wire.size(); ++i) {
    if (line_start && wire[i] == '.') ++i;
    if (i < wire.size()) out.push_back(wire[i]);
    line_start = out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0;
  }
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

TEST(ContentEncoderTest, ServerRecoversTheContent) {
  const std::string content = ".start\r\nmid\r\n.\r\n..two\r\nend.\r\n";
  std::string wire = Encode({content.substr(0, 7), content.substr(7, 9), content.substr(16)});
  EXPECT_EQ(wire.find("\r\n.\r\n"), std::string::npos);
  EXPECT_EQ(Decode(wire), content);
}

}  // namespace
}  // namespace verdanpost
