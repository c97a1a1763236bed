#ifndef VERDANPOST_CONSOLE_DISPATCH_BATCH_SIZE_H_
#define VERDANPOST_CONSOLE_DISPATCH_BATCH_SIZE_H_

#include <cstdint>
#include <optional>

#include <QString>

namespace verdanpost {

// The number at the start of `text`, read the way the Recipients/Message box
// is meant: leading blanks skipped, an optional sign, digits with an optional
// decimal point and exponent. Text that does not begin with a number reads 0.
double LeadingNumber(const QString& text);

// The batch size that `text` asks for: its leading number taken to the
// nearest integer, a half going to the even neighbour (2.5 gives 2, 3.5
// gives 4). nullopt when that integer lies outside the signed 16-bit range.
std::optional<int16_t> BatchSizeFromText(const QString& text);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_BATCH_SIZE_H_
