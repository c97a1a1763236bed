#ifndef VERDANPOST_MAILER_SMTP_TLS_STREAM_H_
#define VERDANPOST_MAILER_SMTP_TLS_STREAM_H_

#include <openssl/types.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace verdanpost {

// The client end of a TLS session over a connected TCP socket, whose server
// certificate has been verified against the trust store (or a CA file) and
// the server's host name. There is deliberately no way to skip verification.
// The socket stays its owner's: it must outlive the stream, and all traffic
// on it goes through the stream once the handshake has begun. All socket
// I/O is done here, with MSG_NOSIGNAL, so a peer that goes away never
// raises SIGPIPE in the calling process.
class TlsStream {
 public:
  using Clock = std::chrono::steady_clock;
  enum class ReadResult { kData, kClosed, kFailed };

  ~TlsStream();
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  // Runs the handshake with `host` (a name or a literal address, as the
  // operator wrote it) on `fd`. `ca_file` empty: the system's trust store.
  // On failure returns null and sets `*why` to words an operator can act on.
  static std::unique_ptr<TlsStream> Start(int fd, const std::string& host,
                                          const std::string& ca_file, Clock::time_point deadline,
                                          std::string* why);

  // Writes all of `bytes`; false when the server takes nothing for
  // `timeout` or the connection fails. `*written` counts the bytes taken.
  // `more`: further bytes follow at once, so partial segments may wait.
  bool Write(std::string_view bytes, std::chrono::milliseconds timeout, bool more, size_t* written);

  // Reads what has arrived, at least one byte, into `buffer`.
  ReadResult Read(char* buffer, size_t size, Clock::time_point deadline, size_t* got);

  // Tells the server the session ends (close_notify), without waiting.
  void Shutdown();

 private:
  struct Free {
    void operator()(SSL_CTX* ctx) const;
    void operator()(SSL* ssl) const;
    void operator()(BIO* bio) const;
  };
  enum class Step { kDone, kAgain, kClosed, kFailed };

  explicit TlsStream(int fd) : fd_(fd) {}
  // Sends what the TLS engine has produced for the socket.
  bool Flush(Clock::time_point deadline, bool more);
  // Moves what the socket has received into the TLS engine.
  Step Receive(Clock::time_point deadline);
  // After `result` of an SSL call: sends what the engine produced (`more`:
  // as for Write), then receives if the engine waits for the server.
  Step Pump(int result, Clock::time_point deadline, bool more);

  int fd_;                  // not owned
  bool timed_out_ = false;  // a wait for the socket reached its deadline
  std::unique_ptr<SSL_CTX, Free> ctx_;
  std::unique_ptr<SSL, Free> ssl_;      // owns the inner end of the BIO pair
  std::unique_ptr<BIO, Free> network_;  // the outer end, bytes to and from the socket
};

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_TLS_STREAM_H_
