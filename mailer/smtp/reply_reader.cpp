#include "mailer/smtp/reply_reader.h"

#include <limits>
#include <string>

#include "mailer/smtp/address_list.h"

namespace verdanpost {
namespace {

constexpr size_t kMaxLine = 256;

}  // namespace

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
  if (value > std::numeric_limits<int>::max()) value = std::numeric_limits<int>::max();
  return static_cast<int>(negative ? -value : value);
}

int ReadReply(SmtpConnection* connection, std::chrono::milliseconds timeout,
              std::vector<std::string>* lines) {
  SmtpConnection::Clock::time_point deadline = SmtpConnection::Clock::now() + timeout;
  std::string line;
  for (;;) {
    line.clear();
    bool closed = false;
    // Bytes past the cap are received and dropped up to the line feed: a
    // reply line may be longer than the cap, and its rest is no reply.
    for (;;) {
      char byte;
      SmtpConnection::ReceiveResult result = connection->ReceiveByte(&byte, deadline);
      if (result == SmtpConnection::ReceiveResult::kFailed) return -1;
      if (result == SmtpConnection::ReceiveResult::kClosed) {
        closed = true;
        break;
      }
      if (line.size() < kMaxLine) line.push_back(byte);
      if (byte == '\n') break;
    }
    if (lines != nullptr) lines->push_back(line);
    if (line.size() < 4 || line[3] != '-') return ReplyCode(line);
    // A continuation line cut off by the close is still no final line: the
    // next line would read as blanks, so the reply's code is 0, never the
    // code of a reply that did not end.
    if (closed) return 0;
  }
}

}  // namespace verdanpost
