#include "platform/database/packed_row.h"

#include <cstdint>
#include <cstring>

namespace verdanpost::database {
namespace {

// Byte offset of column |index| in |packed|.
size_t FieldOffset(const std::string& packed, size_t index) {
  size_t offset = 0;
  for (size_t i = 0; i < index; ++i) {
    bool present = packed[offset++] != 0;
    if (present) {
      uint32_t length;
      std::memcpy(&length, packed.data() + offset, sizeof(length));
      offset += sizeof(length) + length;
    }
  }
  return offset;
}

}  // namespace

void PackValue(const std::optional<std::string>& value, std::string* packed) {
  packed->push_back(value ? 1 : 0);
  if (!value) return;
  uint32_t length = static_cast<uint32_t>(value->size());
  packed->append(reinterpret_cast<const char*>(&length), sizeof(length));
  packed->append(*value);
}

std::optional<std::string> UnpackField(const std::string& packed, size_t index) {
  size_t offset = FieldOffset(packed, index);
  if (packed[offset++] == 0) return std::nullopt;
  uint32_t length;
  std::memcpy(&length, packed.data() + offset, sizeof(length));
  return packed.substr(offset + sizeof(length), length);
}

std::string PackedPrefix(const std::string& packed, size_t count) {
  return packed.substr(0, FieldOffset(packed, count));
}

}  // namespace verdanpost::database
