#ifndef VERDANPOST_MAILER_SMTP_SMTP_CONNECTION_H_
#define VERDANPOST_MAILER_SMTP_SMTP_CONNECTION_H_

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "mailer/smtp/tls_stream.h"

namespace verdanpost {

// One TCP connection to an SMTP server; owns the socket and closes it (no
// QUIT is sent here). Every send and receive is bounded by a deadline.
class SmtpConnection {
 public:
  using Clock = std::chrono::steady_clock;

  enum class ConnectResult { kConnected, kNoSocket, kFailed };
  // Received byte, end of stream (the server closed) or failure/time-out.
  enum class ReceiveResult { kByte, kClosed, kFailed };

  SmtpConnection() = default;
  ~SmtpConnection();
  SmtpConnection(const SmtpConnection&) = delete;
  SmtpConnection& operator=(const SmtpConnection&) = delete;

  // Resolves `server_name` (see ParseServerName) and connects to the first
  // address that answers before `timeout` ends. kNoSocket when no socket
  // could be created at all.
  ConnectResult Connect(const std::string& server_name, std::chrono::milliseconds timeout);

  // Sends all of `bytes` or fails; false also when the server takes none of
  // them for `timeout`.
  bool SendAll(std::string_view bytes, std::chrono::milliseconds timeout);

  // Receives exactly one byte with one receive call (nothing is read ahead).
  ReceiveResult ReceiveByte(char* byte, Clock::time_point deadline);

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
};

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_SMTP_CONNECTION_H_
