#include "mailer/smtp/content_encoder.h"

namespace verdanpost {

void ContentEncoder::Encode(std::string_view piece, std::string* out) {
  out->reserve(out->size() + piece.size() + piece.size() / 16 + 4);
  for (char c : piece) {
    if (c == '\n' && after_cr_) {
      after_cr_ = false;  // the LF of a CR LF that went out with the CR
      continue;
    }
    after_cr_ = false;
    if (c == '\r' || c == '\n') {
      out->append("\r\n");
      after_cr_ = c == '\r';
      at_line_start_ = true;
      continue;
    }
    if (at_line_start_ && c == '.') out->push_back('.');
    at_line_start_ = false;
    out->push_back(c);
  }
}

}  // namespace verdanpost
