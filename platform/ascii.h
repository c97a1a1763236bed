#ifndef VERDANPOST_PLATFORM_ASCII_H_
#define VERDANPOST_PLATFORM_ASCII_H_

#include <string_view>

namespace verdanpost {

// Compares two names letter by letter, ignoring the case of ASCII letters
// only, as member, column and keyword names are compared; other bytes
// (UTF-8 included) must match exactly.
inline bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace verdanpost

#endif  // VERDANPOST_PLATFORM_ASCII_H_
