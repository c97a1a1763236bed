#ifndef VERDANPOST_MAILER_SMTP_SMTP_CONNECTION_H_
#define VERDANPOST_MAILER_SMTP_SMTP_CONNECTION_H_

#include <array>
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace verdanpost {

// One TCP connection to an SMTP server; owns the socket and closes it (no
// QUIT is sent here). Every send and receive is bounded by a deadline.
// Received bytes wait in a buffer of the connection until they are taken, so
// a reply that arrives before its step asks for it is kept for that step.
class SmtpConnection {
 public:
  using Clock = std::chrono::steady_clock;

  enum class ConnectResult { kConnected, kNoSocket, kFailed };
  // Bytes are buffered, the server closed (end of stream), or failure/time-out.
  enum class ReceiveResult { kData, kClosed, kFailed };

  SmtpConnection() = default;
  ~SmtpConnection();
  SmtpConnection(const SmtpConnection&) = delete;
  SmtpConnection& operator=(const SmtpConnection&) = delete;

  // Resolves `server_name` (see ParseServerName) and connects to the first
  // address that answers before `timeout` ends. kNoSocket when no socket
  // could be created at all.
  ConnectResult Connect(const std::string& server_name, std::chrono::milliseconds timeout);

  // Whether more bytes follow a send at once: kMore lets the system hold the
  // last partial segment back until the next kLast send (content and the
  // end-of-data marker then leave together, in full segments).
  enum class Flush { kLast, kMore };

  // Sends all of `bytes` or fails; false also when the server takes none of
  // them for `timeout`. `*sent` (if given) is how many bytes went.
  bool SendAll(std::string_view bytes, std::chrono::milliseconds timeout,
               Flush flush = Flush::kLast, size_t* sent = nullptr);

  // The bytes received and not yet taken.
  std::string_view buffered() const {
    return std::string_view(received_.data() + begin_, end_ - begin_);
  }
  // Takes the first `count` buffered bytes.
  void Consume(size_t count) { begin_ += count; }
  // When nothing is buffered, receives what has arrived (one receive call,
  // at least one byte); kData when bytes are buffered.
  ReceiveResult Fill(Clock::time_point deadline);

  void Close();

 private:
  int fd_ = -1;  // -1 when not connected
  // The receive time-out set on the socket; max() while none is set.
  std::chrono::microseconds receive_timeout_ = std::chrono::microseconds::max();
  std::array<char, 4096> received_;
  size_t begin_ = 0;  // buffered bytes are received_[begin_, end_)
  size_t end_ = 0;
};

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_SMTP_CONNECTION_H_
