#ifndef VERDANPOST_MAILER_SMTP_SMTP_SESSION_H_
#define VERDANPOST_MAILER_SMTP_SMTP_SESSION_H_

#include <string>
#include <string_view>
#include <vector>

#include "mailer/smtp/content_encoder.h"
#include "mailer/smtp/outcome.h"
#include "mailer/smtp/server_settings.h"
#include "mailer/smtp/smtp_connection.h"
#include "mailer/smtp/smtp_extensions.h"
#include "mailer/smtp/smtp_timeouts.h"

namespace verdanpost {

// The client side of one SMTP transaction, step by step. Each step returns
// the outcome that ends the call when it fails; the caller stops at the first
// failure, and the connection then closes without QUIT when the session goes.
class SmtpSession {
 public:
  explicit SmtpSession(const SmtpTimeouts& timeouts) : timeouts_(timeouts) {}

  ~SmtpSession();

  // Reads the server's settings (see ServerSettings) and the password they
  // name, connects, starts TLS when the settings say so, and reads the
  // opening reply.
  Outcome Open(const std::string& server_name);
  // HELO; or, as the settings ask, EHLO, STARTTLS and EHLO again, and AUTH.
  Outcome Helo();
  // MAIL FROM with the address taken out of `sender`, then one RCPT TO per
  // recipient in order; the first refusal ends it. When the server offers
  // PIPELINING after EHLO, the commands and DATA go out in one write and
  // their replies are read in order, with the same outcome.
  Outcome SendEnvelope(const std::string& sender, const std::vector<std::string>& recipients);
  // DATA and its reply (only the reply when the envelope already sent it).
  Outcome Data();
  // Sends a piece of the content, with line ends made CR LF and leading dots
  // doubled; pieces of one message must all pass through here, in order.
  // Encoded bytes are gathered up to kContentBuffer before they are sent, so
  // a piece of any size costs no more memory than that.
  Outcome SendContent(std::string_view piece);
  // The rest of the content, the end-of-data marker and its reply.
  Outcome EndData();
  // QUIT and its reply; closes the connection. Fine means "Message sent".
  Outcome Quit();

 private:
  // Sends `line` and reads the reply, which must be `expected`.
  Outcome Command(SmtpCommand command, std::string_view line, std::chrono::milliseconds timeout,
                  int expected, std::vector<std::string>* lines = nullptr);
  // Reads the reply to `command`, which must be `expected`; `lines` as for
  // ReadReply.
  Outcome Reply(SmtpCommand command, std::chrono::milliseconds timeout, int expected,
                std::vector<std::string>* lines = nullptr);
  // EHLO and the extensions its reply offers.
  Outcome Ehlo();
  Outcome StartTls();
  Outcome Authenticate();
  Outcome SendPipelined(const std::string& sender, const std::vector<std::string>& recipients);

  // Bytes of encoded content gathered before a send, and the most of a piece
  // encoded at once.
  static constexpr size_t kContentBuffer = 64 * 1024;

  SmtpTimeouts timeouts_;
  ServerSettings settings_;
  std::string host_;             // as the operator wrote it, for certificate checks
  std::string password_;         // wiped when the session goes
  ServerExtensions extensions_;  // of the last EHLO reply
  bool data_sent_ = false;       // DATA went out with a pipelined envelope
  SmtpConnection connection_;
  ContentEncoder encoder_;
  std::string encoded_;  // encoded content not sent yet
};

// The local host's name for HELO; "localhost" when it cannot be had.
std::string LocalHostName();

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_SMTP_SESSION_H_
