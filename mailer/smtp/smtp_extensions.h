#ifndef VERDANPOST_MAILER_SMTP_SMTP_EXTENSIONS_H_
#define VERDANPOST_MAILER_SMTP_SMTP_EXTENSIONS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace verdanpost {

// What a server's EHLO reply offers, of what this client uses.
struct ServerExtensions {
  bool pipelining = false;
  bool starttls = false;
  bool auth = false;                         // an AUTH keyword, whatever its mechanisms
  std::vector<std::string> auth_mechanisms;  // as offered
  bool size = false;                         // SIZE: MAIL FROM takes SIZE=n
  uint64_t size_limit = 0;                   // the largest message it takes; 0: none declared
  bool eight_bit_mime = false;               // 8BITMIME: MAIL FROM takes BODY=8BITMIME
};

// Reads the keywords of an EHLO reply from its lines as received (code,
// separator, text, line end); the first line is the server's greeting.
// Keywords and mechanisms are matched without regard to case.
ServerExtensions ParseEhloReply(const std::vector<std::string>& lines);

// How the client signs in; PLAIN when offered, else LOGIN.
enum class AuthMechanism { kNone, kPlain, kLogin };
AuthMechanism ChooseMechanism(const ServerExtensions& extensions);

// The command line of AUTH PLAIN with its initial response: the login and
// password, separated by NUL bytes, in Base64.
std::string AuthPlainCommand(std::string_view user, std::string_view password);
// One answer to an AUTH LOGIN challenge: `text` in Base64, then CR LF.
std::string AuthLoginAnswer(std::string_view text);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_SMTP_EXTENSIONS_H_
