#ifndef VERDANPOST_MAILER_SMTP_TEXT_KIND_H_
#define VERDANPOST_MAILER_SMTP_TEXT_KIND_H_

#include <string_view>

namespace verdanpost {

// What the bytes of a text are, as far as the header's character set goes.
enum class TextKind {
  kAscii,  // every byte below 128
  kUtf8,   // valid UTF-8 with at least one character beyond ASCII
  kOther,  // not valid UTF-8: its character set cannot be named
};

// Tells the kind of a text that may arrive in pieces; a character split
// between two pieces is still one character.
class TextKindScanner {
 public:
  void Add(std::string_view piece);
  // The kind of everything added; a character left unfinished is not UTF-8.
  TextKind kind() const;

 private:
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
