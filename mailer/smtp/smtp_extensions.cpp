#include "mailer/smtp/smtp_extensions.h"

#include "mailer/smtp/base64.h"
#include "platform/ascii.h"

namespace verdanpost {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The blank-separated words of `text`.
std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSpace(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !IsSpace(text[i])) ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

}  // namespace

ServerExtensions ParseEhloReply(const std::vector<std::string>& lines) {
  ServerExtensions found;
  for (size_t n = 1; n < lines.size(); ++n) {
    if (lines[n].size() < 4) continue;
    std::vector<std::string_view> words = Words(std::string_view(lines[n]).substr(4));
    if (words.empty()) continue;
    std::string_view keyword = words[0];
    if (EqualsIgnoreAsciiCase(keyword, "PIPELINING")) {
      found.pipelining = true;
    } else if (EqualsIgnoreAsciiCase(keyword, "STARTTLS")) {
      found.starttls = true;
    } else if (EqualsIgnoreAsciiCase(keyword, "AUTH") ||
               EqualsIgnoreAsciiCase(keyword.substr(0, 5), "AUTH=")) {
      // "AUTH=" is how some older servers write the same list.
      found.auth = true;
      if (keyword.size() > 5) words.push_back(keyword.substr(5));
      found.auth_mechanisms.insert(found.auth_mechanisms.end(), words.begin() + 1, words.end());
    }
  }
  return found;
}

AuthMechanism ChooseMechanism(const ServerExtensions& extensions) {
  auto offered = [&extensions](std::string_view mechanism) {
    for (const std::string& name : extensions.auth_mechanisms) {
      if (EqualsIgnoreAsciiCase(name, mechanism)) return true;
    }
    return false;
  };
  if (offered("PLAIN")) return AuthMechanism::kPlain;
  if (offered("LOGIN")) return AuthMechanism::kLogin;
  return AuthMechanism::kNone;
}

std::string AuthPlainCommand(std::string_view user, std::string_view password) {
  std::string credentials;
  credentials.push_back('\0');
  credentials.append(user);
  credentials.push_back('\0');
  credentials.append(password);
  return "AUTH PLAIN " + Base64(credentials) + "\r\n";
}

std::string AuthLoginAnswer(std::string_view text) { return Base64(text) + "\r\n"; }

}  // namespace verdanpost
