#ifndef VERDANPOST_MAILER_SMTP_EXTRA_HEADERS_H_
#define VERDANPOST_MAILER_SMTP_EXTRA_HEADERS_H_

#include <string>

#include "mailer/smtp/outcome.h"

namespace verdanpost {

// Checks the caller's extra header lines and writes them into *lines as
// they go on the wire: each line ended by CRLF. `text` holds lines ended by
// CRLF or LF (the last may have no end); a line that starts with a blank or
// a tab continues the field before it; empty lines are dropped. Each field
// is "Name: value" with a name of printable ASCII other than ":", and no
// line holds a control character other than a tab, or a byte beyond ASCII.
// A field the mailer writes itself (From, To, Cc, Bcc, Subject, Date,
// Message-ID, MIME-Version, Content-Type, Content-Transfer-Encoding) is
// refused, in any case. Refuses with ExtraHeadersNotValid, naming the
// first fault.
Outcome CheckExtraHeaders(const std::string& text, std::string* lines);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_EXTRA_HEADERS_H_
