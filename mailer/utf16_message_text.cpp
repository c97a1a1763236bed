#include "mailer/utf16_message_text.h"

#include <string>

#include "platform/automation/bstr.h"

namespace verdanpost {

TextKind Utf16MessageText::kind() const {
  for (char16_t unit : text_) {
    if (unit >= 0x80) return TextKind::kUtf8;
  }
  return TextKind::kAscii;
}

Outcome Utf16MessageText::ForEachPiece(const std::function<Outcome(std::string_view)>& send) const {
  std::string piece;
  piece.reserve(3 * kPieceUnits + 3);  // the most one piece can take, a pair kept whole
  std::u16string_view left = text_;
  while (!left.empty()) {
    piece.clear();
    left.remove_prefix(AppendUtf8Piece(left, kPieceUnits, &piece));
    Outcome sent = send(piece);
    if (!sent.ok()) return sent;
  }
  return Outcome::Fine();
}

}  // namespace verdanpost
