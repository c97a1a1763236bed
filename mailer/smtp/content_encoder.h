#ifndef VERDANPOST_MAILER_SMTP_CONTENT_ENCODER_H_
#define VERDANPOST_MAILER_SMTP_CONTENT_ENCODER_H_

#include <string>
#include <string_view>

namespace verdanpost {

// Turns message content into the bytes of the SMTP data phase: every line
// ends in CR LF (a bare LF or bare CR becomes CR LF) and a line that begins
// with "." gets one more "." in front, so the server recovers the content and
// nothing in it ends the data early. Content may arrive in pieces: the state
// carries over between calls, so one encoder serves one whole message.
class ContentEncoder {
 public:
  // Appends the encoded form of `piece` to `*out`.
  void Encode(std::string_view piece, std::string* out);

 private:
  bool at_line_start_ = true;
  bool after_cr_ = false;  // the last byte was a CR, already sent as CR LF
};

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_CONTENT_ENCODER_H_
