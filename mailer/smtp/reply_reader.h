#ifndef VERDANPOST_MAILER_SMTP_REPLY_READER_H_
#define VERDANPOST_MAILER_SMTP_REPLY_READER_H_

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "mailer/smtp/smtp_connection.h"

namespace verdanpost {

// The code of a reply line: the number at its start (leading blanks skipped,
// an optional sign, digits up to the first non-digit), 0 without digits.
int ReplyCode(std::string_view line);

// Reads one whole reply, one byte per receive, continuation lines and all, and
// returns the code of its final line; -1 when receiving fails or `timeout`
// passes. A server that closes the connection gives the code of what the line
// holds so far (0 for an empty line or a cut-off continuation line), never a
// wait.
// `lines`, when given, receives every line of the reply as it came.
int ReadReply(SmtpConnection* connection, std::chrono::milliseconds timeout,
              std::vector<std::string>* lines = nullptr);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_REPLY_READER_H_
