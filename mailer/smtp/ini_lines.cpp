#include "mailer/smtp/ini_lines.h"

namespace verdanpost {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The line without a comment that a ";" after a blank starts.
std::string_view WithoutComment(std::string_view line) {
  for (size_t i = 1; i < line.size(); ++i) {
    if (line[i] == ';' && IsBlank(line[i - 1])) return line.substr(0, i);
  }
  return line;
}

}  // namespace

int ReadIniLines(std::string_view text, const IniEntryHandler& on_entry) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    text.remove_prefix(kByteOrderMark.size());
  }
  std::string_view section;
  int first_bad = 0;
  int number = 0;
  while (!text.empty()) {
    ++number;
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

    line = Trim(line);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    line = Trim(WithoutComment(line));
    bool good = line.find('\0') == std::string_view::npos;
    if (good && line.front() == '[') {
      size_t close = line.find(']');
      good = close != std::string_view::npos;
      // What follows the "]" is ignored, as it always was.
      if (good) section = Trim(line.substr(1, close - 1));
    } else if (good) {
      // "Key: Value" reads as "Key = Value", as it always did.
      size_t equals = line.find_first_of("=:");
      good = equals != std::string_view::npos && !Trim(line.substr(0, equals)).empty();
      if (good) on_entry(section, Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)));
    }
    if (!good && first_bad == 0) first_bad = number;
  }
  return first_bad;
}

}  // namespace verdanpost
