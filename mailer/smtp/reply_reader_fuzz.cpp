// Fuzzes the reply reader with arbitrary server bytes. The first two bytes of
// an input choose how the rest arrives (in pieces of which sizes, and whether
// the server then closes or the receive fails); the rest is what the server
// sent. Replies are read one after the other until the bytes run out.
// Properties, checked against a reading of the bytes made here:
// - a code is never 0: it is the number at the start of the reply's final
//   line (its sign and digits, saturated) or kNoReply (-1);
// - a reply cut off by the end of the bytes is kNoReply;
// - a reply takes the bytes up to its final line's line feed and not one
//   byte more; what follows waits for the next reply;
// - work is bounded: one Fill per byte taken at most, plus one;
// - a reply of more than 1,000 lines or 64 KiB is kNoReply, and the reader
//   takes no more than 64 KiB and one piece of it.

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mailer/smtp/reply_reader.h"
#include "testing/fuzz_check.h"

namespace verdanpost {
namespace {

using ReceiveResult = SmtpConnection::ReceiveResult;

// Server bytes held in memory, handed out in pieces as a connection would
// receive them.
class MemorySource {
 public:
  MemorySource(std::string_view bytes, uint8_t sizes, ReceiveResult at_end)
      : bytes_(bytes), sizes_(sizes), at_end_(at_end) {}

  ReceiveResult Fill(SmtpConnection::Clock::time_point) {
    ++fills_;
    if (begin_ < end_) return ReceiveResult::kData;
    if (end_ == bytes_.size()) return at_end_;
    // Piece sizes from 1 up, cycling through a pattern the input chose; 0
    // stands for "everything at once".
    size_t size = sizes_ == 0 ? bytes_.size() : 1 + (sizes_ * ++arrivals_) % 300;
    end_ = std::min(bytes_.size(), end_ + size);
    return ReceiveResult::kData;
  }
  std::string_view buffered() const { return bytes_.substr(begin_, end_ - begin_); }
  void Consume(size_t count) {
    FUZZ_CHECK(count <= end_ - begin_);
    begin_ += count;
  }

  size_t taken() const { return begin_; }
  size_t fills() const { return fills_; }

 private:
  std::string_view bytes_;
  uint8_t sizes_;
  ReceiveResult at_end_;
  size_t begin_ = 0;  // buffered bytes are bytes_[begin_, end_)
  size_t end_ = 0;
  size_t arrivals_ = 0;
  size_t fills_ = 0;
};

// The reply that starts at `from`: where its final line ends (after its line
// feed) and that line, or nothing when the bytes end first.
struct Reply {
  size_t end;
  std::string_view final_line;
};
// Also whether the reply goes past the reader's limits (more than 1,000
// lines or 64 KiB, counted as far as the bytes go).
std::optional<Reply> NextReply(std::string_view bytes, size_t from, bool* too_long) {
  const size_t start = from;
  for (size_t lines = 1;; ++lines) {
    *too_long = lines > kMaxReplyLines;
    if (*too_long) return std::nullopt;
    size_t feed = bytes.find('\n', from);
    if (feed == std::string_view::npos) {
      *too_long = bytes.size() - start > kMaxReplyBytes;
      return std::nullopt;
    }
    std::string_view line = bytes.substr(from, feed + 1 - from);
    *too_long = feed + 1 - start > kMaxReplyBytes;
    if (*too_long) return std::nullopt;
    if (line.size() < 4 || line[3] != '-') return Reply{feed + 1, line};
    from = feed + 1;
  }
}

// The code must be the number the line starts with (only the line's first
// 256 bytes count), or kNoReply when it has none or it is 0.
void CheckCode(int code, std::string_view line) {
  FUZZ_CHECK(code != 0);
  line = line.substr(0, 256);
  size_t i = line.find_first_not_of(" \t\n\v\f\r");
  if (i == std::string_view::npos) i = line.size();
  bool negative = i < line.size() && line[i] == '-';
  if (i < line.size() && (line[i] == '-' || line[i] == '+')) ++i;
  size_t digits_end = line.find_first_not_of("0123456789", i);
  if (digits_end == std::string_view::npos) digits_end = line.size();
  std::string_view digits = line.substr(i, digits_end - i);
  digits.remove_prefix(std::min(digits.size(), digits.find_first_not_of('0')));
  if (digits.empty()) {
    FUZZ_CHECK(code == kNoReply);
    return;
  }
  std::string magnitude = std::to_string(code == INT_MIN ? 0 : (code < 0 ? -code : code));
  if (digits.size() > 10 || (digits.size() == 10 && digits > "2147483647")) {
    FUZZ_CHECK_EQ(magnitude, std::to_string(INT_MAX));  // saturated
  } else {
    FUZZ_CHECK_EQ(magnitude, digits);
  }
  FUZZ_CHECK((code < 0) == negative);
}

}  // namespace
}  // namespace verdanpost

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace verdanpost;
  if (size < 2) return 0;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
  MemorySource source(bytes, data[0],
                      data[1] % 2 == 0 ? ReceiveResult::kClosed : ReceiveResult::kFailed);
  for (;;) {
    const size_t from = source.taken();
    const size_t fills_before = source.fills();
    int code = ReadReplyFrom(&source, SmtpConnection::Clock::now());
    size_t taken = source.taken() - from;
    FUZZ_CHECK(source.fills() - fills_before <= taken + 1);
    bool too_long = false;
    std::optional<Reply> expected = NextReply(bytes, from, &too_long);
    if (too_long) {
      // Refused, and the rest is never read: the connection is given up.
      FUZZ_CHECK(code == kNoReply);
      FUZZ_CHECK(taken <= kMaxReplyBytes + (data[0] == 0 ? bytes.size() : 300));
      return 0;
    }
    if (!expected) {
      // Cut off: everything was read, and it is no reply.
      FUZZ_CHECK(code == kNoReply);
      FUZZ_CHECK(source.taken() == bytes.size());
      return 0;
    }
    FUZZ_CHECK(source.taken() == expected->end);
    CheckCode(code, expected->final_line);
  }
}
