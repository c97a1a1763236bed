#include "mailer/smtp/extra_headers.h"

#include <array>
#include <string_view>

namespace verdanpost {

namespace {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool WrittenByTheMailer(std::string_view name) {
  static constexpr std::array<std::string_view, 10> kOwn = {
      "From", "To",         "Cc",           "Bcc",          "Subject",
      "Date", "Message-ID", "MIME-Version", "Content-Type", "Content-Transfer-Encoding"};
  for (std::string_view own : kOwn) {
    if (SameName(name, own)) return true;
  }
  return false;
}

}  // namespace

Outcome CheckExtraHeaders(const std::string& text, std::string* lines) {
  lines->clear();
  std::string_view rest(text);
  int number = 0;
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++number;
    if (line.empty()) continue;
    const std::string where = "line " + std::to_string(number);
    for (char c : line) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte >= 0x80) return Outcome::ExtraHeadersNotValid(where + " is not ASCII");
      if ((byte < 0x20 && c != '\t') || byte == 0x7F)
        return Outcome::ExtraHeadersNotValid(where + " holds a control character");
    }
    if (line.front() == ' ' || line.front() == '\t') {
      if (lines->empty()) return Outcome::ExtraHeadersNotValid(where + " continues no field");
    } else {
      const size_t colon = line.find(':');
      const std::string_view name = line.substr(0, colon);
      if (colon == std::string_view::npos || name.empty() ||
          name.find_first_of(" \t") != std::string_view::npos)
        return Outcome::ExtraHeadersNotValid(where + " is not \"Name: value\"");
      if (WrittenByTheMailer(name))
        return Outcome::ExtraHeadersNotValid("the mailer writes \"" + std::string(name) +
                                             "\" itself");
    }
    lines->append(line);
    lines->append("\r\n");
  }
  return Outcome::Fine();
}

}  // namespace verdanpost
