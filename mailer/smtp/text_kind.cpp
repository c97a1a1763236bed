#include "mailer/smtp/text_kind.h"

namespace verdanpost {

void TextKindScanner::Add(std::string_view piece) {
  for (size_t i = 0; i < piece.size() && !long_line_; ++i) {
    if (piece[i] == '\r' || piece[i] == '\n') {
      line_bytes_ = 0;
    } else if (++line_bytes_ > kMaxLineBytes) {
      long_line_ = true;
    }
  }
  for (size_t i = 0; i < piece.size() && valid_; ++i) {
    auto byte = static_cast<unsigned char>(piece[i]);
    if (pending_ > 0) {
      if (byte < low_ || byte > high_) {
        valid_ = false;
        break;
      }
      --pending_;
      low_ = 0x80;
      high_ = 0xBF;
      continue;
    }
    if (byte < 0x80) continue;
    ascii_ = false;
    // The lead byte tells the length and, for some, a narrower range of the
    // first continuation byte.
    if (byte >= 0xC2 && byte <= 0xDF) {
      pending_ = 1;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
      pending_ = 2;
      if (byte == 0xE0) low_ = 0xA0;
      if (byte == 0xED) high_ = 0x9F;
    } else if (byte >= 0xF0 && byte <= 0xF4) {
      pending_ = 3;
      if (byte == 0xF0) low_ = 0x90;
      if (byte == 0xF4) high_ = 0x8F;
    } else {
      valid_ = false;
    }
  }
}

TextKind TextKindScanner::kind() const {
  if (!valid_ || pending_ > 0) return TextKind::kOther;
  return ascii_ ? TextKind::kAscii : TextKind::kUtf8;
}

TextKind KindOfText(std::string_view text) {
  TextKindScanner scanner;
  scanner.Add(text);
  return scanner.kind();
}

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace verdanpost
