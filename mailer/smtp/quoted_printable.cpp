#include "mailer/smtp/quoted_printable.h"

namespace verdanpost {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

void QuotedPrintableEncoder::Put(std::string_view token, std::string* out) {
  // One place stays free on every line for the "=" of a soft break.
  if (column_ + token.size() > kMaxLine - 1) {
    out->append("=\r\n");
    column_ = 0;
  }
  out->append(token);
  column_ += token.size();
}

void QuotedPrintableEncoder::PutByte(unsigned char byte, std::string* out) {
  if (byte >= 33 && byte <= 126 && byte != '=') {
    char c = static_cast<char>(byte);
    Put(std::string_view(&c, 1), out);
    return;
  }
  const char encoded[3] = {'=', kHex[byte >> 4], kHex[byte & 0xF]};
  Put(std::string_view(encoded, 3), out);
}

void QuotedPrintableEncoder::Encode(std::string_view piece, std::string* out) {
  out->reserve(out->size() + piece.size() + piece.size() / 8 + 8);
  for (char c : piece) {
    if (after_cr_) {
      after_cr_ = false;
      if (c == '\n') continue;  // the LF of a CR LF already written
    }
    if (c == '\r' || c == '\n') {
      // A blank at the end of a line is encoded: relays may strip it.
      if (held_blank_ != 0) PutByte(static_cast<unsigned char>(held_blank_), out);
      held_blank_ = 0;
      out->append("\r\n");
      column_ = 0;
      after_cr_ = c == '\r';
      continue;
    }
    if (held_blank_ != 0) {
      char blank = held_blank_;
      held_blank_ = 0;
      Put(std::string_view(&blank, 1), out);
    }
    if (c == ' ' || c == '\t') {
      held_blank_ = c;
      continue;
    }
    PutByte(static_cast<unsigned char>(c), out);
  }
}

void QuotedPrintableEncoder::Finish(std::string* out) {
  if (held_blank_ != 0) PutByte(static_cast<unsigned char>(held_blank_), out);
  held_blank_ = 0;
}

std::string DecodeQuotedPrintable(std::string_view text) {
  std::string decoded;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '=') {
      decoded.push_back(text[i]);
    } else if (text.substr(i + 1, 2) == "\r\n") {
      i += 2;  // soft line break
    } else if (i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      decoded.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      decoded.push_back('=');
    }
  }
  return decoded;
}

}  // namespace verdanpost
