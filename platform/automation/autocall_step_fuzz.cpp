// Fuzzes the autocall step parser. Properties: a parsed step, written back
// in the step syntax, parses to the same step; its name and its argument
// count are bounded by the text; a string put as it stands keeps its text
// when it is valid UTF-8; a refused step says why.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/automation/autocall_step.h"
#include "testing/fuzz_check.h"

namespace verdanpost {
namespace {

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += c;
    }
  }
  return out + "\"";
}

std::string Render(const Variant& v) {
  return v.type() == VT_BSTR ? Quote(v.ToString()) : v.ToString();
}

std::string Render(const AutocallStep& step) {
  switch (step.kind) {
    case AutocallStep::Kind::kGet:
      return step.name;
    case AutocallStep::Kind::kPut:
      return step.name + "=" + Render(step.args[0]);
    case AutocallStep::Kind::kCall:
      break;
  }
  std::string out = step.name + "(";
  for (size_t i = 0; i < step.args.size(); ++i) out += (i > 0 ? ", " : "") + Render(step.args[i]);
  return out + ")";
}

bool IsValidUtf8(std::string_view s) {
  static constexpr uint32_t kShortest[] = {0, 0x80, 0x800, 0x10000};
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t more;
    uint32_t cp;
    if (c < 0x80) {
      more = 0, cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      more = 1, cp = c & 0x1Fu;
    } else if ((c & 0xF0) == 0xE0) {
      more = 2, cp = c & 0x0Fu;
    } else if ((c & 0xF8) == 0xF0) {
      more = 3, cp = c & 0x07u;
    } else {
      return false;
    }
    if (s.size() - i <= more) return false;
    for (size_t k = 1; k <= more; ++k) {
      unsigned char next = static_cast<unsigned char>(s[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (next & 0x3Fu);
    }
    if (cp < kShortest[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += more + 1;
  }
  return true;
}

void CheckSameStep(const AutocallStep& a, const AutocallStep& b) {
  FUZZ_CHECK(a.kind == b.kind);
  FUZZ_CHECK_EQ(a.name, b.name);
  FUZZ_CHECK(a.args.size() == b.args.size());
  for (size_t i = 0; i < a.args.size(); ++i) {
    FUZZ_CHECK(a.args[i].type() == b.args[i].type());
    FUZZ_CHECK_EQ(a.args[i].ToString(), b.args[i].ToString());
  }
}

}  // namespace
}  // namespace verdanpost

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace verdanpost;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  AutocallStep step;
  std::string err;
  if (!ParseAutocallStep(text, &step, &err)) {
    FUZZ_CHECK(!err.empty());
    return 0;
  }
  FUZZ_CHECK(!step.name.empty() && text.starts_with(step.name));
  FUZZ_CHECK(step.args.size() <= text.size());
  if (step.kind == AutocallStep::Kind::kGet) FUZZ_CHECK(step.args.empty());
  if (step.kind == AutocallStep::Kind::kPut) {
    FUZZ_CHECK(step.args.size() == 1);
    std::string_view value = text.substr(step.name.size() + 1);
    if (step.args[0].type() == VT_BSTR && !value.starts_with('"') && IsValidUtf8(value))
      FUZZ_CHECK_EQ(step.args[0].ToString(), value);
  }
  const std::string rendered = Render(step);
  AutocallStep again;
  if (!ParseAutocallStep(rendered, &again, &err)) FUZZ_CHECK_EQ(err, rendered);
  CheckSameStep(step, again);
  return 0;
}
