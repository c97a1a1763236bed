#ifndef VERDANPOST_PLATFORM_DATABASE_PACKED_ROW_H_
#define VERDANPOST_PLATFORM_DATABASE_PACKED_ROW_H_

#include <cstddef>
#include <optional>
#include <string>

namespace verdanpost::database {

// A row of text values packed into one string, to keep fetched rows small:
// per column a tag byte (0 null, 1 value), then for a value its length as
// 4 bytes and its bytes.

// Appends |value| as the next column of |packed|.
void PackValue(const std::optional<std::string>& value, std::string* packed);
// Column |index| (from 0) of |packed|; nullopt for null.
std::optional<std::string> UnpackField(const std::string& packed, size_t index);
// The first |count| columns of |packed|, still packed.
std::string PackedPrefix(const std::string& packed, size_t count);

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_PACKED_ROW_H_
