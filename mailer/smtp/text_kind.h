#ifndef VERDANPOST_MAILER_SMTP_TEXT_KIND_H_
#define VERDANPOST_MAILER_SMTP_TEXT_KIND_H_

#include <cstddef>
#include <string_view>

namespace verdanpost {

// What the bytes of a text are, as far as the header's character set goes.
enum class TextKind {
  kAscii,  // every byte below 128
  kUtf8,   // valid UTF-8 with at least one character beyond ASCII
  kOther,  // not valid UTF-8: its character set cannot be named
};

// Tells the kind of a text that may arrive in pieces; a character split
// between two pieces is still one character. Also notes whether a line is
// longer than the 998 bytes a line of mail may hold.
class TextKindScanner {
 public:
  static constexpr size_t kMaxLineBytes = 998;

  void Add(std::string_view piece);
  // The kind of everything added; a character left unfinished is not UTF-8.
  TextKind kind() const;
  // Whether a line (without its line end) is longer than kMaxLineBytes.
  bool has_long_line() const { return long_line_; }

 private:
  size_t line_bytes_ = 0;  // of the line not yet ended
  bool long_line_ = false;
  bool ascii_ = true;
  bool valid_ = true;
  int pending_ = 0;            // continuation bytes the current character still needs
  unsigned char low_ = 0x80;   // bounds of the next continuation byte, which
  unsigned char high_ = 0xBF;  // shut out overlong forms and surrogates
};

TextKind KindOfText(std::string_view text);

bool IsAscii(std::string_view text);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_TEXT_KIND_H_
