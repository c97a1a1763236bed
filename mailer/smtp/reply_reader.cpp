#include "mailer/smtp/reply_reader.h"

#include <algorithm>
#include <limits>
#include <string>

#include "mailer/smtp/address_list.h"

namespace verdanpost {
namespace {

constexpr size_t kMaxLine = 256;

// Reads one line up to and including its line feed into `*line`, keeping at
// most kMaxLine bytes of it. False when the line did not end: receiving
// failed or the server closed first.
bool ReadLine(SmtpConnection* connection, SmtpConnection::Clock::time_point deadline,
              std::string* line) {
  line->clear();
  for (;;) {
    if (connection->Fill(deadline) != SmtpConnection::ReceiveResult::kData) return false;
    std::string_view bytes = connection->buffered();
    size_t feed = bytes.find('\n');
    size_t taken = feed == std::string_view::npos ? bytes.size() : feed + 1;
    if (line->size() < kMaxLine)
      line->append(bytes.substr(0, std::min(taken, kMaxLine - line->size())));
    connection->Consume(taken);
    if (feed != std::string_view::npos) return true;
  }
}

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
  if (value == 0) return kNoReply;  // no digits, or a 0 that would read as "sent"
  if (value > std::numeric_limits<int>::max()) value = std::numeric_limits<int>::max();
  return static_cast<int>(negative ? -value : value);
}

int ReadReply(SmtpConnection* connection, std::chrono::milliseconds timeout) {
  SmtpConnection::Clock::time_point deadline = SmtpConnection::Clock::now() + timeout;
  std::string line;
  for (;;) {
    // A line cut off by a close is no reply, whatever it holds so far.
    if (!ReadLine(connection, deadline, &line)) return kNoReply;
    if (line.size() < 4 || line[3] != '-') return ReplyCode(line);
  }
}

}  // namespace verdanpost
