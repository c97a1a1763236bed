#ifndef VERDANPOST_PLATFORM_AUTOMATION_BSTR_H_
#define VERDANPOST_PLATFORM_AUTOMATION_BSTR_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace verdanpost {

// An automation string: UTF-16 code units preceded by a 32-bit byte length
// and followed by a terminating zero. A null BSTR is the empty string. The
// memory comes from malloc so that a BSTR allocated by one library's copy
// of this code can be freed by another's.
using BSTR = char16_t*;

// Returns a copy of the zero-terminated `text` (null for a null `text`).
BSTR SysAllocString(const char16_t* text);
// Returns a copy of `length` units of `text`; a null `text` gives `length`
// units of zeros.
BSTR SysAllocStringLen(const char16_t* text, uint32_t length);
void SysFreeString(BSTR text);
// Length in UTF-16 units, 0 for null.
uint32_t SysStringLen(BSTR text);

// Conversions that never truncate: a surrogate pair becomes one four-byte
// sequence and back; unpaired surrogates and malformed UTF-8 become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
// Appends the UTF-8 form of the first `max_units` units of `text` (at least
// one) to `*out` and returns how many units it took: one more when the cut
// would part a surrogate pair. Converting a text piece after piece this way
// gives exactly Utf16ToUtf8 of the whole.
size_t AppendUtf8Piece(std::u16string_view text, size_t max_units, std::string* out);

// BSTR <-> UTF-8 helpers; a null BSTR reads as "". BstrFromUtf8 decodes
// straight into the new BSTR (null when out of memory or too long).
std::string BstrToUtf8(BSTR text);
BSTR BstrFromUtf8(std::string_view text);

// Owns one BSTR and frees it.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::string_view utf8) : text_(BstrFromUtf8(utf8)) {}
  // A copy of the units as they are, unpaired surrogates and zeros included.
  explicit Bstr(std::u16string_view utf16);
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& other) noexcept : text_(other.Release()) {}
  Bstr& operator=(Bstr&& other) noexcept;
  ~Bstr() { SysFreeString(text_); }

  BSTR get() const { return text_; }
  // Frees the current string and returns its slot for an out parameter.
  BSTR* Receive();
  BSTR Release();
  std::string ToUtf8() const { return BstrToUtf8(text_); }

 private:
  BSTR text_ = nullptr;
};

}  // namespace verdanpost

#endif  // VERDANPOST_PLATFORM_AUTOMATION_BSTR_H_
