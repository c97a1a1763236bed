#ifndef VERDANPOST_TESTING_FUZZ_CHECK_H_
#define VERDANPOST_TESTING_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

// Properties that fuzz targets check. A broken one prints what broke and
// aborts: libFuzzer then keeps the input as a crash, and a corpus replay
// under CTest fails.
#define FUZZ_CHECK(condition) \
  ((condition) ? (void)0 : ::verdanpost::FuzzFailed(#condition, __FILE__, __LINE__, {}, {}))
// FUZZ_CHECK(a == b) for strings, printing both, escaped.
#define FUZZ_CHECK_EQ(a, b)                                                         \
  do {                                                                              \
    const std::string fuzz_a_(a), fuzz_b_(b);                                       \
    if (fuzz_a_ != fuzz_b_)                                                         \
      ::verdanpost::FuzzFailed(#a " == " #b, __FILE__, __LINE__, fuzz_a_, fuzz_b_); \
  } while (false)

namespace verdanpost {

// `text` with bytes outside printable ASCII as \xHH, for messages.
inline std::string FuzzEscape(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

[[noreturn]] inline void FuzzFailed(const char* what, const char* file, int line,
                                    std::string_view a, std::string_view b) {
  std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
  if (!a.empty() || !b.empty())
    std::fprintf(stderr, "  left:  \"%s\"\n  right: \"%s\"\n", FuzzEscape(a).c_str(),
                 FuzzEscape(b).c_str());
  std::abort();
}

}  // namespace verdanpost

#endif  // VERDANPOST_TESTING_FUZZ_CHECK_H_
