#include "mailer/smtp/reply_reader.h"

#include <limits>

#include "mailer/smtp/address_list.h"

namespace verdanpost {

int ReplyCode(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
  long long value = 0;
  for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
    // Saturate rather than overflow on an absurd run of digits.
    if (value < std::numeric_limits<int>::max()) value = value * 10 + (line[i] - '0');
  }
  if (value == 0) return kNoReply;  // no digits, or a 0 that would read as "sent"
  if (value > std::numeric_limits<int>::max()) value = std::numeric_limits<int>::max();
  return static_cast<int>(negative ? -value : value);
}

int ReadReply(SmtpConnection* connection, std::chrono::milliseconds timeout,
              std::vector<std::string>* lines, ReplyEnd* end) {
  return ReadReplyFrom(connection, SmtpConnection::Clock::now() + timeout, lines, end);
}

}  // namespace verdanpost
