// Fuzzes the content encoder. The first byte of an input chooses where the
// rest is cut into pieces; the rest is the content. Properties:
// - the output has only CR LF line ends (no CR or LF alone);
// - followed by the end-of-data marker it is sent with, the output holds
//   CR LF "." CR LF only at that marker (nor does a line "." open it);
// - taking one "." off each line that starts with one gives back the content
//   with its line ends (LF, CR LF, CR alone) made CR LF;
// - the output is the same whether the content comes whole or in pieces.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mailer/smtp/content_encoder.h"
#include "testing/fuzz_check.h"

namespace verdanpost {
namespace {

std::string Encode(std::string_view content) {
  ContentEncoder encoder;
  std::string out;
  encoder.Encode(content, &out);
  return out;
}

// Encodes `content` in pieces whose sizes cycle with `pattern`, empty pieces
// among them.
std::string EncodeInPieces(std::string_view content, uint8_t pattern) {
  ContentEncoder encoder;
  std::string out;
  for (size_t n = 0; !content.empty(); ++n) {
    // 0 to 4 bytes, or 0 to 96 when the pattern's top bit is set; never
    // empty twice running, so that the content runs out.
    size_t size = (pattern * (n + 1) + n) % ((pattern & 0x80) ? 97 : 5);
    if (size == 0 && n % 2 == 1) size = 1;
    std::string_view piece = content.substr(0, size);
    encoder.Encode(piece, &out);
    content.remove_prefix(piece.size());
  }
  encoder.Encode({}, &out);
  return out;
}

std::string NormaliseLineEnds(std::string_view content) {
  std::string out;
  for (size_t i = 0; i < content.size(); ++i) {
    if (content[i] == '\r') {
      if (i + 1 < content.size() && content[i + 1] == '\n') ++i;
      out += "\r\n";
    } else if (content[i] == '\n') {
      out += "\r\n";
    } else {
      out += content[i];
    }
  }
  return out;
}

std::string Unstuff(std::string_view encoded) {
  std::string out;
  bool line_start = true;
  for (char c : encoded) {
    if (!(line_start && c == '.')) out += c;
    line_start = c == '\n';
  }
  return out;
}

void CheckLineEnds(std::string_view encoded) {
  for (size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] == '\r') FUZZ_CHECK(i + 1 < encoded.size() && encoded[i + 1] == '\n');
    if (encoded[i] == '\n') FUZZ_CHECK(i > 0 && encoded[i - 1] == '\r');
  }
}

}  // namespace
}  // namespace verdanpost

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace verdanpost;
  if (size < 1) return 0;
  std::string_view content(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string encoded = Encode(content);
  CheckLineEnds(encoded);
  // DATA's reply leaves the content at a line start; the session ends it
  // with CR LF "." CR LF.
  const std::string wire = "\r\n" + encoded + "\r\n.\r\n";
  FUZZ_CHECK(wire.find("\r\n.\r\n") == wire.size() - 5);
  FUZZ_CHECK_EQ(Unstuff(encoded), NormaliseLineEnds(content));
  FUZZ_CHECK_EQ(EncodeInPieces(content, data[0]), encoded);
  return 0;
}
