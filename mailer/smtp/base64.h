#ifndef VERDANPOST_MAILER_SMTP_BASE64_H_
#define VERDANPOST_MAILER_SMTP_BASE64_H_

#include <string>
#include <string_view>

namespace verdanpost {

// `bytes` in Base64 with padding, on one line: for encoded words in a header
// and for the credentials of AUTH.
std::string Base64(std::string_view bytes);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_BASE64_H_
