#include "console/dispatch/batch_size.h"

#include <cmath>
#include <limits>

#include <QLocale>

namespace verdanpost {

namespace {

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Length of the run of ASCII digits in `text` from `pos`.
qsizetype DigitsAt(const QString& text, qsizetype pos) {
  qsizetype end = pos;
  while (end < text.size() && IsDigit(text[end])) ++end;
  return end - pos;
}

}  // namespace

double LeadingNumber(const QString& text) {
  qsizetype pos = 0;
  while (pos < text.size() && (text[pos] == u' ' || text[pos] == u'\t')) ++pos;
  const qsizetype start = pos;
  if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) ++pos;
  const qsizetype whole = DigitsAt(text, pos);
  pos += whole;
  qsizetype fraction = 0;
  if (pos < text.size() && text[pos] == u'.') {
    fraction = DigitsAt(text, pos + 1);
    if (whole + fraction > 0) pos += 1 + fraction;
  }
  if (whole + fraction == 0) return 0;
  // An exponent counts only when digits follow it ("2e" reads 2).
  if (pos < text.size() && (text[pos] == u'e' || text[pos] == u'E')) {
    qsizetype after = pos + 1;
    if (after < text.size() && (text[after] == u'+' || text[after] == u'-')) ++after;
    const qsizetype exponent = DigitsAt(text, after);
    if (exponent > 0) pos = after + exponent;
  }
  // The prefix is well formed, so the conversion fails only on overflow, which
  // gives an infinity, or underflow, which gives 0: both read as they should.
  return QLocale::c().toDouble(QStringView(text).mid(start, pos - start));
}

std::optional<int16_t> BatchSizeFromText(const QString& text) {
  const double number = LeadingNumber(text);
  if (!std::isfinite(number)) return std::nullopt;
  // nearbyint rounds in the current mode, which is to nearest, ties to even.
  const double rounded = std::nearbyint(number);
  if (rounded < std::numeric_limits<int16_t>::min() ||
      rounded > std::numeric_limits<int16_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int16_t>(rounded);
}

}  // namespace verdanpost
