#ifndef VERDANPOST_MAILER_UTF16_MESSAGE_TEXT_H_
#define VERDANPOST_MAILER_UTF16_MESSAGE_TEXT_H_

#include <cstddef>
#include <string_view>

#include "mailer/smtp/message_text.h"

namespace verdanpost {

// A SendMessage text as it arrives through automation, in UTF-16 units,
// converted to UTF-8 a piece at a time while it is sent (surrogate pairs
// whole, unpaired halves as U+FFFD, zeros kept), so that the mailer holds
// no UTF-8 copy of the whole text.
class Utf16MessageText final : public MessageText {
 public:
  // Units converted per piece: a piece is at most three times as many bytes.
  static constexpr size_t kPieceUnits = 16 * 1024;

  // `text` must outlive this object.
  explicit Utf16MessageText(std::u16string_view text) : text_(text) {}

  // ASCII when every unit is below 128, else UTF-8: the conversion always
  // gives valid UTF-8.
  TextKind kind() const override;
  Outcome ForEachPiece(const std::function<Outcome(std::string_view)>& send) const override;

 private:
  std::u16string_view text_;
};

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_UTF16_MESSAGE_TEXT_H_
