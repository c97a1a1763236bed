#ifndef VERDANPOST_MAILER_SMTP_MESSAGE_STAMP_H_
#define VERDANPOST_MAILER_SMTP_MESSAGE_STAMP_H_

#include <ctime>
#include <string>
#include <string_view>

namespace verdanpost {

// The values of the Date and Message-ID fields of one built message.
struct MessageStamp {
  std::string date;        // "Mon, 07 Dec 2026 15:20:03 +0100"
  std::string message_id;  // "<...@example.org>"
};

// `when` as the local time in the published date form, with the zone's
// offset from UTC and English day and month names whatever the locale.
std::string FormatDate(std::time_t when);

// The part of a Message-ID after "@": the domain of `sender_address` when it
// has one that may stand there, otherwise `host_name`, otherwise "localhost".
std::string MessageIdDomain(std::string_view sender_address, std::string_view host_name);

// A Message-ID that no other message shares: the time in microseconds, the
// process, a per-process counter and 64 random bits, at `domain`.
std::string NewMessageId(std::string_view domain);

// The stamp of a message that `sender_address` sends now from this host.
MessageStamp StampNow(std::string_view sender_address);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_MESSAGE_STAMP_H_
