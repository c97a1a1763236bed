// Fuzzes the registry file reader. Properties: a registry that loads saves
// to text that loads again to the same registry (the saved text is a fixed
// point), case-insensitive lookups find what was saved, and a refused file
// names the line that is wrong.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/automation/registry.h"
#include "testing/fuzz_check.h"

namespace verdanpost {
namespace {

std::string SwapCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    } else if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return out;
}

// Every value of `saved` (the text Serialize() gave) is found in
// `registry` under its key with the case of every letter swapped.
void CheckLookups(const Registry& registry, std::string_view saved) {
  Registry scratch;
  std::string key;
  while (!saved.empty()) {
    size_t end = saved.find('\n');
    std::string_view line = saved.substr(0, end);
    saved.remove_prefix(end == std::string_view::npos ? saved.size() : end + 1);
    if (line.starts_with('[')) {
      key = std::string(line.substr(1, line.size() - 2));
      FUZZ_CHECK(registry.KeyExists(SwapCase(key)));
    } else if (!line.empty() && line[0] != ';') {
      // Let the reader unquote one value line, in a key of its own.
      std::string err;
      FUZZ_CHECK(scratch.Parse("[k]\n" + std::string(line), "line", &err));
      if (line.starts_with('@')) {
        FUZZ_CHECK(registry.GetValue(SwapCase(key)) == scratch.GetValue("k"));
      }
    }
  }
}

}  // namespace
}  // namespace verdanpost

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using verdanpost::Registry;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  Registry loaded;
  std::string err;
  if (!loaded.Parse(text, "in", &err)) {
    // "in:LINE: what", LINE within the text.
    FUZZ_CHECK(err.starts_with("in:"));
    size_t lines = 1;
    for (char c : text) lines += c == '\n';
    FUZZ_CHECK(std::stoul(err.substr(3)) >= 1 && std::stoul(err.substr(3)) <= lines);
    FUZZ_CHECK(loaded.Serialize() == Registry().Serialize());
    return 0;
  }
  const std::string saved = loaded.Serialize();
  Registry reloaded;
  if (!reloaded.Parse(saved, "saved", &err)) FUZZ_CHECK_EQ(err, "");
  FUZZ_CHECK_EQ(reloaded.Serialize(), saved);
  verdanpost::CheckLookups(reloaded, saved);
  return 0;
}
