#ifndef VERDANPOST_MAILER_SMTP_QUOTED_PRINTABLE_H_
#define VERDANPOST_MAILER_SMTP_QUOTED_PRINTABLE_H_

#include <string>
#include <string_view>

namespace verdanpost {

// Encodes a message body as quoted-printable text: every line of the output
// is at most 76 characters (soft line breaks "=" CR LF where a line of the
// text is longer), only printable ASCII is left as it stands, "=" and every
// other byte become "=XX", and a blank before a line end is encoded so no
// relay can drop it. The text's line ends (CR LF, LF or CR alone) become
// CR LF. The text may arrive in pieces: one encoder serves one whole body,
// and Finish() ends it.
class QuotedPrintableEncoder {
 public:
  static constexpr size_t kMaxLine = 76;

  // Appends the encoded form of `piece` to `*out`.
  void Encode(std::string_view piece, std::string* out);
  // Appends what the end of the text still owes (a blank held back).
  void Finish(std::string* out);

 private:
  // Appends `token` (one character or "=XX"), breaking the line first when
  // it would not fit beside the soft break's "=".
  void Put(std::string_view token, std::string* out);
  void PutByte(unsigned char byte, std::string* out);

  size_t column_ = 0;      // characters on the current output line
  char held_blank_ = 0;    // a blank whose fate waits for the next byte, or 0
  bool after_cr_ = false;  // the last byte was a CR, already written as CR LF
};

// Decodes quoted-printable text as the encoder above writes it (soft line
// breaks removed, "=XX" decoded); for the tests and fuzz target's round trip.
std::string DecodeQuotedPrintable(std::string_view text);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_QUOTED_PRINTABLE_H_
