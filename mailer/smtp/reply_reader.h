#ifndef VERDANPOST_MAILER_SMTP_REPLY_READER_H_
#define VERDANPOST_MAILER_SMTP_REPLY_READER_H_

#include <chrono>
#include <string_view>

#include "mailer/smtp/smtp_connection.h"

namespace verdanpost {

// What ReadReply gives for a reply that could not be read: a failed or timed
// out receive, a close before the final line ended, a final line without a
// number. ErrorCode 0 means "Message sent", so no failure may read as 0.
constexpr int kNoReply = -1;

// The code of a reply line: the number at its start (leading blanks skipped,
// an optional sign, digits up to the first non-digit); kNoReply when the line
// has no digits there or the number is 0.
int ReplyCode(std::string_view line);

// Reads one whole reply, continuation lines and all, and returns the code of
// its final line, or kNoReply (see above) when `timeout` passes first. Bytes
// after the reply stay buffered in `connection` for the next reply. A line
// longer than 256 bytes is read to its line feed; only its start counts.
int ReadReply(SmtpConnection* connection, std::chrono::milliseconds timeout);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_REPLY_READER_H_
