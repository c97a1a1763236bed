#include "platform/automation/guid.h"

namespace verdanpost {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `digits` hex digits at `*pos`, advancing it.
bool ReadHex(std::string_view text, size_t* pos, int digits, uint64_t* value) {
  *value = 0;
  for (int i = 0; i < digits; ++i, ++*pos) {
    if (*pos >= text.size()) return false;
    int v = HexValue(text[*pos]);
    if (v < 0) return false;
    *value = (*value << 4) | static_cast<uint64_t>(v);
  }
  return true;
}

}  // namespace

std::optional<GUID> ParseGuid(std::string_view text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
  GUID guid{};
  size_t pos = 1;
  uint64_t v = 0;
  auto dash = [&]() { return text[pos++] == '-'; };
  if (!ReadHex(text, &pos, 8, &v) || !dash()) return std::nullopt;
  guid.Data1 = static_cast<uint32_t>(v);
  if (!ReadHex(text, &pos, 4, &v) || !dash()) return std::nullopt;
  guid.Data2 = static_cast<uint16_t>(v);
  if (!ReadHex(text, &pos, 4, &v) || !dash()) return std::nullopt;
  guid.Data3 = static_cast<uint16_t>(v);
  for (int i = 0; i < 8; ++i) {
    if (i == 2 && !dash()) return std::nullopt;
    if (!ReadHex(text, &pos, 2, &v)) return std::nullopt;
    guid.Data4[i] = static_cast<uint8_t>(v);
  }
  return guid;
}

std::string FormatGuid(const GUID& guid) { return GuidText(guid).data(); }

}  // namespace verdanpost
