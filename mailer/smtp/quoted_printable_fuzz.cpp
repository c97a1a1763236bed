// Fuzzes the quoted-printable encoder. The first byte of an input chooses
// where the rest is cut into pieces; the rest is the text. Properties:
// - the output is printable ASCII and CR LF only, with no line over 76
//   characters and no blank at the end of a line;
// - it decodes to the text with its line ends (LF, CR LF, CR alone) made
//   CR LF;
// - the output is the same whether the text comes whole or in pieces.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mailer/smtp/quoted_printable.h"
#include "testing/fuzz_check.h"

namespace verdanpost {
namespace {

std::string Encode(std::string_view text, uint8_t pattern) {
  QuotedPrintableEncoder encoder;
  std::string out;
  for (size_t n = 0; !text.empty(); ++n) {
    size_t size = pattern == 0 ? text.size() : 1 + (pattern * (n + 1)) % 97;
    encoder.Encode(text.substr(0, size), &out);
    text.remove_prefix(std::min(size, text.size()));
  }
  encoder.Finish(&out);
  return out;
}

// The text with each line end made CR LF.
std::string WithCrLf(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      out += "\r\n";
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

}  // namespace
}  // namespace verdanpost

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace verdanpost;
  if (size < 1) return 0;
  std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string whole = Encode(text, 0);
  FUZZ_CHECK_EQ(Encode(text, data[0]), whole);
  size_t line = 0;
  for (size_t i = 0; i < whole.size(); ++i) {
    char c = whole[i];
    if (c == '\r') {
      FUZZ_CHECK(i + 1 < whole.size() && whole[i + 1] == '\n');
      FUZZ_CHECK(i == 0 || (whole[i - 1] != ' ' && whole[i - 1] != '\t'));
      ++i;
      line = 0;
      continue;
    }
    FUZZ_CHECK((c >= 33 && c <= 126) || c == ' ' || c == '\t');
    FUZZ_CHECK(++line <= QuotedPrintableEncoder::kMaxLine);
  }
  FUZZ_CHECK(whole.empty() || (whole.back() != ' ' && whole.back() != '\t'));
  FUZZ_CHECK_EQ(DecodeQuotedPrintable(whole), WithCrLf(text));
  return 0;
}
