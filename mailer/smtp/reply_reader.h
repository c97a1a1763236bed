#ifndef VERDANPOST_MAILER_SMTP_REPLY_READER_H_
#define VERDANPOST_MAILER_SMTP_REPLY_READER_H_

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

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

// How a read of one reply ended.
enum class ReplyEnd {
  kWhole,    // its final line arrived
  kCutOff,   // receiving failed, timed out or the server closed first
  kTooLong,  // more than kMaxReplyLines lines or kMaxReplyBytes bytes
};

// The most a reply may hold; a server that goes on past either is broken or
// hostile, and the reply fails as a broken one does (kNoReply).
constexpr size_t kMaxReplyLines = 1000;
constexpr size_t kMaxReplyBytes = 64 * 1024;

// Reads one whole reply, continuation lines and all, and returns the code of
// its final line, or kNoReply (see above) when `timeout` passes first or the
// reply goes past the limits above. Bytes after the reply stay buffered in
// `connection` for the next reply. A line longer than 256 bytes is read to
// its line feed; only its start counts. `lines`, when given, receives every
// line of the reply as it came; `end`, when given, how the read ended.
int ReadReply(SmtpConnection* connection, std::chrono::milliseconds timeout,
              std::vector<std::string>* lines = nullptr, ReplyEnd* end = nullptr);

// ReadReply over any source that hands out received bytes as SmtpConnection
// does (Fill, buffered, Consume), so that the reader also runs on bytes held
// in memory.
template <typename Source>
int ReadReplyFrom(Source* source, SmtpConnection::Clock::time_point deadline,
                  std::vector<std::string>* lines = nullptr, ReplyEnd* end = nullptr);

namespace reply_reader_internal {

constexpr size_t kMaxLine = 256;

// Reads one line up to and including its line feed into `*line`, keeping at
// most kMaxLine bytes of it, and counts the bytes taken in `*taken_total`.
// Stops once that count passes kMaxReplyBytes, so an endless line costs no
// more than that.
template <typename Source>
ReplyEnd ReadLine(Source* source, SmtpConnection::Clock::time_point deadline, std::string* line,
                  size_t* taken_total) {
  line->clear();
  for (;;) {
    if (source->Fill(deadline) != SmtpConnection::ReceiveResult::kData) return ReplyEnd::kCutOff;
    std::string_view bytes = source->buffered();
    size_t feed = bytes.find('\n');
    size_t taken = feed == std::string_view::npos ? bytes.size() : feed + 1;
    if (line->size() < kMaxLine)
      line->append(bytes.substr(0, std::min(taken, kMaxLine - line->size())));
    source->Consume(taken);
    *taken_total += taken;
    if (*taken_total > kMaxReplyBytes) return ReplyEnd::kTooLong;
    if (feed != std::string_view::npos) return ReplyEnd::kWhole;
  }
}

}  // namespace reply_reader_internal

template <typename Source>
int ReadReplyFrom(Source* source, SmtpConnection::Clock::time_point deadline,
                  std::vector<std::string>* lines, ReplyEnd* end) {
  std::string line;
  size_t taken = 0;
  ReplyEnd ignored;
  if (end == nullptr) end = &ignored;
  for (size_t count = 1;; ++count) {
    *end = count > kMaxReplyLines
               ? ReplyEnd::kTooLong
               : reply_reader_internal::ReadLine(source, deadline, &line, &taken);
    // A line cut off by a close is no reply, whatever it holds so far.
    if (*end != ReplyEnd::kWhole) return kNoReply;
    if (lines != nullptr) lines->push_back(line);
    if (line.size() < 4 || line[3] != '-') return ReplyCode(line);
  }
}

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_REPLY_READER_H_
