#ifndef VERDANPOST_PLATFORM_AUTOMATION_GUID_H_
#define VERDANPOST_PLATFORM_AUTOMATION_GUID_H_

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

// Formats as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
std::string FormatGuid(const GUID& guid);

}  // namespace verdanpost

#endif  // VERDANPOST_PLATFORM_AUTOMATION_GUID_H_
