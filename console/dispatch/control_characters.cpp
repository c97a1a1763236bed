#include "console/dispatch/control_characters.h"

#include <algorithm>

namespace verdanpost {

namespace {

bool IsControl(QChar c) {
  return c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
         c == QChar::ParagraphSeparator;
}

}  // namespace

bool HoldsControlCharacter(const QString& text) {
  return std::any_of(text.begin(), text.end(), IsControl);
}

bool HoldsControlCharacterBesidesLineBreaks(const QString& text) {
  return std::any_of(text.begin(), text.end(), [](QChar c) {
    return c != u'\r' && c != u'\n' && c != u'\t' && IsControl(c);
  });
}

bool IsSendableAddress(const QString& address) {
  return !address.trimmed().isEmpty() && !HoldsControlCharacter(address);
}

bool HasAddressForm(const QString& address) {
  const qsizetype at = address.indexOf('@');
  return at >= 0 && address.indexOf('@', at + 1) < 0 && !address.left(at).trimmed().isEmpty() &&
         !address.mid(at + 1).trimmed().isEmpty();
}

}  // namespace verdanpost
