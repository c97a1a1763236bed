#ifndef VERDANPOST_PLATFORM_AUTOMATION_GUID_H_
#define VERDANPOST_PLATFORM_AUTOMATION_GUID_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace verdanpost {

// A 128-bit identifier of a class, interface or type library.
struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];

  friend constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i) {
      if (a.Data4[i] != b.Data4[i]) return false;
    }
    return true;
  }
};

using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

// Parses "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (hex digits of either case);
// nothing else is accepted.
std::optional<GUID> ParseGuid(std::string_view text);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, NUL-terminated.
// Usable at compile time, so a text that must name a GUID constant can be
// derived from it instead of being written out a second time.
constexpr std::array<char, 39> GuidText(const GUID& guid) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::array<char, 39> text{};
  size_t pos = 0;
  auto put = [&](uint64_t value, int digits) {
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
      text[pos++] = kDigits[(value >> shift) & 0xF];
    }
  };
  text[pos++] = '{';
  put(guid.Data1, 8);
  text[pos++] = '-';
  put(guid.Data2, 4);
  text[pos++] = '-';
  put(guid.Data3, 4);
  text[pos++] = '-';
  for (int i = 0; i < 8; ++i) {
    if (i == 2) text[pos++] = '-';
    text[pos++] = kDigits[guid.Data4[i] >> 4];
    text[pos++] = kDigits[guid.Data4[i] & 0xF];
  }
  text[pos++] = '}';
  return text;
}

// GuidText as a string.
std::string FormatGuid(const GUID& guid);

}  // namespace verdanpost

#endif  // VERDANPOST_PLATFORM_AUTOMATION_GUID_H_
