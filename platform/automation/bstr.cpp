#include "platform/automation/bstr.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace verdanpost {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at `*pos`, advancing past it (or past one byte
// when it is malformed, which decodes as U+FFFD).
char32_t DecodeUtf8(std::string_view s, size_t* pos) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char b0 = byte(*pos);
  size_t need;
  char32_t c;
  char32_t min;
  if (b0 < 0x80) {
    ++*pos;
    return b0;
  } else if ((b0 & 0xE0) == 0xC0) {
    need = 1, c = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    need = 2, c = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    need = 3, c = b0 & 0x07, min = 0x10000;
  } else {
    ++*pos;
    return kReplacement;
  }
  for (size_t i = 1; i <= need; ++i) {
    if (*pos + i >= s.size() || (byte(*pos + i) & 0xC0) != 0x80) {
      ++*pos;
      return kReplacement;
    }
    c = (c << 6) | (byte(*pos + i) & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++*pos;
    return kReplacement;
  }
  *pos += need + 1;
  return c;
}

constexpr size_t kPrefix = sizeof(uint32_t);
// The most units a BSTR can hold: its byte length must fit the prefix.
constexpr size_t kMaxUnits = (UINT32_MAX - sizeof(char16_t)) / sizeof(char16_t);

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The UTF-16 length of `text` once decoded, and the decoding itself into
// `out`, which has room for that many units: a text is measured first so
// that its units go straight to their final place.
size_t Utf16Length(std::string_view text) {
  size_t length = 0;
  size_t pos = 0;
  while (pos < text.size()) length += DecodeUtf8(text, &pos) < 0x10000 ? 1 : 2;
  return length;
}

void DecodeUtf8Into(std::string_view text, char16_t* out) {
  size_t pos = 0;
  while (pos < text.size()) {
    char32_t c = DecodeUtf8(text, &pos);
    if (c < 0x10000) {
      *out++ = static_cast<char16_t>(c);
    } else {
      c -= 0x10000;
      *out++ = static_cast<char16_t>(0xD800 | (c >> 10));
      *out++ = static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    }
  }
}

// Room for `length` units and the terminating zero, with the prefix set;
// the units themselves are left for the caller to fill.
BSTR AllocateUnits(uint32_t length) {
  size_t bytes = static_cast<size_t>(length) * sizeof(char16_t);
  auto* block = static_cast<char*>(std::malloc(kPrefix + bytes + sizeof(char16_t)));
  if (block == nullptr) return nullptr;
  uint32_t stored = static_cast<uint32_t>(bytes);
  std::memcpy(block, &stored, kPrefix);
  auto* units = reinterpret_cast<char16_t*>(block + kPrefix);
  units[length] = 0;
  return units;
}

}  // namespace

size_t AppendUtf8Piece(std::u16string_view text, size_t max_units, std::string* out) {
  size_t end = std::min(text.size(), std::max<size_t>(max_units, 1));
  // Never part a surrogate pair: its high half takes its low half along.
  if (end < text.size() && IsHighSurrogate(text[end - 1]) && IsLowSurrogate(text[end])) ++end;
  for (size_t i = 0; i < end; ++i) {
    char32_t c = text[i];
    if (IsHighSurrogate(text[i]) && i + 1 < end && IsLowSurrogate(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(c, out);
  }
  return end;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendUtf8Piece(text, text.size(), &out);
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out(Utf16Length(text), u'\0');
  DecodeUtf8Into(text, out.data());
  return out;
}

BSTR SysAllocStringLen(const char16_t* text, uint32_t length) {
  BSTR units = AllocateUnits(length);
  if (units == nullptr) return nullptr;
  size_t bytes = static_cast<size_t>(length) * sizeof(char16_t);
  if (text != nullptr) {
    std::memcpy(units, text, bytes);
  } else {
    std::memset(units, 0, bytes);
  }
  return units;
}

BSTR SysAllocString(const char16_t* text) {
  if (text == nullptr) return nullptr;
  return SysAllocStringLen(text, static_cast<uint32_t>(std::char_traits<char16_t>::length(text)));
}

void SysFreeString(BSTR text) {
  if (text != nullptr) std::free(reinterpret_cast<char*>(text) - kPrefix);
}

uint32_t SysStringLen(BSTR text) {
  if (text == nullptr) return 0;
  uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<char*>(text) - kPrefix, kPrefix);
  return bytes / sizeof(char16_t);
}

std::string BstrToUtf8(BSTR text) {
  return Utf16ToUtf8(std::u16string_view(text == nullptr ? u"" : text, SysStringLen(text)));
}

BSTR BstrFromUtf8(std::string_view text) {
  size_t length = Utf16Length(text);
  if (length > kMaxUnits) return nullptr;
  BSTR units = AllocateUnits(static_cast<uint32_t>(length));
  if (units != nullptr) DecodeUtf8Into(text, units);
  return units;
}

Bstr::Bstr(std::u16string_view utf16)
    : text_(utf16.size() > kMaxUnits
                ? nullptr
                : SysAllocStringLen(utf16.data(), static_cast<uint32_t>(utf16.size()))) {}

Bstr& Bstr::operator=(Bstr&& other) noexcept {
  if (this != &other) {
    SysFreeString(text_);
    text_ = other.Release();
  }
  return *this;
}

BSTR* Bstr::Receive() {
  SysFreeString(text_);
  text_ = nullptr;
  return &text_;
}

BSTR Bstr::Release() {
  BSTR text = text_;
  text_ = nullptr;
  return text;
}

}  // namespace verdanpost
