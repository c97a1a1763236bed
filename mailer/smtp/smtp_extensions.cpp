#include "mailer/smtp/smtp_extensions.h"

#include <openssl/crypto.h>

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

// `prefix`, then `secret` in Base64, then CR LF. The caller wipes the line
// it gets; the copy made on the way is wiped here, and the line is given its
// room at once so that no stale copy is left behind by a reallocation.
std::string CredentialLine(std::string_view prefix, std::string_view secret) {
  std::string encoded = Base64(secret);
  std::string line;
  line.reserve(prefix.size() + encoded.size() + 2);
  line.append(prefix).append(encoded).append("\r\n");
  OPENSSL_cleanse(encoded.data(), encoded.size());
  return line;
}

// The number of a SIZE keyword; 0 (no limit declared) when it is no number
// or does not fit.
uint64_t ParseLimit(std::string_view text) {
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || value > (UINT64_MAX - 9) / 10) return 0;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
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
    } else if (EqualsIgnoreAsciiCase(keyword, "8BITMIME")) {
      found.eight_bit_mime = true;
    } else if (EqualsIgnoreAsciiCase(keyword, "SIZE")) {
      found.size = true;
      found.size_limit = words.size() > 1 ? ParseLimit(words[1]) : 0;
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
  credentials.reserve(user.size() + password.size() + 2);
  credentials.push_back('\0');
  credentials.append(user);
  credentials.push_back('\0');
  credentials.append(password);
  std::string line = CredentialLine("AUTH PLAIN ", credentials);
  OPENSSL_cleanse(credentials.data(), credentials.size());
  return line;
}

std::string AuthLoginAnswer(std::string_view text) { return CredentialLine("", text); }

}  // namespace verdanpost
