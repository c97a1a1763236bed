#ifndef VERDANPOST_MAILER_SMTP_HEADER_ENCODING_H_
#define VERDANPOST_MAILER_SMTP_HEADER_ENCODING_H_

#include <string>
#include <string_view>

namespace verdanpost {

// The "Subject: " field line with its CR LF. A plain-ASCII subject stands as
// it was passed; any other is written as UTF-8 encoded words (Base64),
// folded so that no line passes 78 characters, which a reader joins back
// into exactly the text passed.
std::string SubjectField(std::string_view subject);

// The field line `name` + ": " + `list` with its CR LF, for From, To and Cc.
// A plain-ASCII list stands as it was passed. Otherwise each entry's display
// name that holds more than ASCII is written as encoded words (its quotes
// and escapes taken off first), the entries are joined by ", " and folded
// between their parts. Entries that are plain ASCII, and addresses
// themselves, are kept as they are.
std::string AddressField(std::string_view name, std::string_view list);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_HEADER_ENCODING_H_
