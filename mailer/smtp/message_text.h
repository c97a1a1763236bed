#ifndef VERDANPOST_MAILER_SMTP_MESSAGE_TEXT_H_
#define VERDANPOST_MAILER_SMTP_MESSAGE_TEXT_H_

#include <functional>
#include <string_view>

#include "mailer/smtp/outcome.h"
#include "mailer/smtp/text_kind.h"

namespace verdanpost {

// The text of a SendMessage as the transaction reads it: UTF-8, piece after
// piece. Abstract so that a caller who holds the text in another form can
// convert it while it is sent instead of handing over a whole UTF-8 copy.
// The text must stay unchanged while the object is in use.
class MessageText {
 public:
  virtual ~MessageText() = default;

  // What the UTF-8 text is, for the header's character set. Answered from
  // the text as it is held, without converting it, since the header is
  // built before anything is sent.
  virtual TextKind kind() const = 0;
  // Hands the UTF-8 text to `send` in order, piece after piece, and stops
  // at the first outcome that is not ok, which it returns.
  virtual Outcome ForEachPiece(const std::function<Outcome(std::string_view)>& send) const = 0;
};

// A text the caller already holds in UTF-8, handed on in one piece.
class Utf8MessageText final : public MessageText {
 public:
  // `text` must outlive this object.
  explicit Utf8MessageText(std::string_view text) : text_(text) {}

  TextKind kind() const override { return KindOfText(text_); }
  Outcome ForEachPiece(const std::function<Outcome(std::string_view)>& send) const override {
    return send(text_);
  }

 private:
  std::string_view text_;
};

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_MESSAGE_TEXT_H_
