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
// QUIT is sent here). Every send and receive is bounded by a deadline, and
// a failed one leaves its reason in words.
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

  // Why the last connect, send or receive failed, in words for an operator
  // ("Connection refused", "no such host", "timed out"); "" after one that
  // went well.
  const std::string& failure_reason() const { return failure_reason_; }

  bool is_open() const { return fd_ >= 0; }
  // True when an open plain connection has nothing waiting: the server has
  // neither closed it nor said anything unasked (such as 421) since the
  // last reply. Always true with TLS, where records the server may send
  // unasked (session tickets) cannot be told from a reply without reading.
  bool LooksIdle();

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
  int fd_ = -1;                     // -1 when not connected
  std::unique_ptr<TlsStream> tls_;  // null while the connection is plain
  // The receive time-out set on the socket; max() while none is set.
  std::chrono::microseconds receive_timeout_ = std::chrono::microseconds::max();
  std::array<char, 4096> received_;
  size_t begin_ = 0;  // buffered bytes are received_[begin_, end_)
  size_t end_ = 0;
  std::string failure_reason_;
};

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_SMTP_CONNECTION_H_
