#ifndef VERDANPOST_MAILER_SMTP_SMTP_CONNECTION_H_
#define VERDANPOST_MAILER_SMTP_SMTP_CONNECTION_H_

#include <array>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include <sys/types.h>

#include "mailer/smtp/tls_stream.h"

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

  // Runs the TLS handshake with `host` on the connection (see TlsStream);
  // from then on every send and receive is encrypted. False with `*why`
  // when the server cannot be trusted or the handshake fails.
  bool StartTls(const std::string& host, const std::string& ca_file, Clock::time_point deadline,
                std::string* why);

  // Sends close_notify first when TLS is on.
  void Close();

 private:
  // A server on this host, or close to it, answers within microseconds:
  // sooner than a thread that blocks in a receive is woken again, so on
  // such a connection the wake-up, not the server, sets the pace of the
  // dialogue. A receive therefore first polls the socket without blocking
  // for up to kSpinWait, as long as the last reply came within
  // kSoonReplyLimit of asking (wake-up included). A server farther away
  // costs one such spin per connection, on its greeting, and then is waited
  // for by blocking alone. With one processor there is no polling at all.
  static constexpr std::chrono::microseconds kSpinWait{50};
  static constexpr std::chrono::microseconds kSoonReplyLimit{200};

  // One receive without blocking, repeated for up to kSpinWait (never past
  // `deadline`) while nothing has arrived and the last reply came soon;
  // -1 with errno EAGAIN when nothing came.
  ssize_t ReceiveSoon(Clock::time_point deadline);

  int fd_ = -1;                     // -1 when not connected
  std::unique_ptr<TlsStream> tls_;  // null while the connection is plain
  // The receive time-out set on the socket; max() while none is set.
  std::chrono::microseconds receive_timeout_ = std::chrono::microseconds::max();
  std::array<char, 4096> received_;
  size_t begin_ = 0;  // buffered bytes are received_[begin_, end_)
  size_t end_ = 0;
  bool reply_came_soon_ = true;  // whether the last reply came within kSoonReplyLimit
};

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_SMTP_CONNECTION_H_
