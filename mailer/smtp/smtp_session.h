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

// What the server answered one RCPT TO of an envelope.
struct RecipientReply {
  enum class Verdict {
    kAccepted,  // 2xx
    kRefused,   // 4xx or 5xx
    kDeferred,  // the server takes no more recipients in this transaction
    kNotTried,  // the envelope ended before this recipient
  };
  Verdict verdict = Verdict::kNotTried;
  int code = 0;
  std::string reply;  // the whole reply, lines joined by "\n"
};

// The client side of an SMTP connection, step by step; one transaction
// after another may run on it. Each step returns the outcome that ends the
// call when it fails; the caller stops at the first failure, and the
// connection then closes without QUIT when the session goes (or with QUIT
// through QuitQuietly()).
class SmtpSession {
 public:
  explicit SmtpSession(const SmtpTimeouts& timeouts) : timeouts_(timeouts) {}

  ~SmtpSession();
  SmtpSession(const SmtpSession&) = delete;
  SmtpSession& operator=(const SmtpSession&) = delete;

  // Reads the server's settings (see ServerSettings) and the password they
  // name, connects, starts TLS when the settings say so, and reads the
  // opening reply.
  Outcome Open(const std::string& server_name);
  // HELO; or, as the settings ask, EHLO, STARTTLS and EHLO again, and AUTH.
  Outcome Helo();

  // MAIL FROM with the address taken out of `sender` and `parameters`
  // (" SIZE=n" and the like, or ""), then one RCPT TO per recipient in
  // order. When the server offers PIPELINING after EHLO, the commands and
  // DATA go out in one write and their replies are read in order, with the
  // same outcome as in lockstep.
  // Without `replies`, the first refused recipient ends it with its
  // outcome. With `replies` (one per recipient), a recipient's refusal is
  // noted there and the envelope goes on; a 452 after an accepted recipient
  // (or with the enhanced code 4.5.3) defers that recipient and every one
  // after it to a later transaction. The outcome then fails only for MAIL
  // FROM, a broken reply or a failed send.
  Outcome SendEnvelope(const std::string& sender, const std::vector<std::string>& recipients,
                       const std::string& parameters = "",
                       std::vector<RecipientReply>* replies = nullptr);
  // DATA and its reply (only the reply when the envelope already sent it).
  Outcome Data();
  // Sends a piece of the content, with line ends made CR LF and leading dots
  // doubled; pieces of one message must all pass through here, in order.
  // Encoded bytes are gathered up to kContentBuffer before they are sent, so
  // a piece of any size costs no more memory than that.
  Outcome SendContent(std::string_view piece);
  // The rest of the content, the end-of-data marker and its reply. Fine
  // carries the reply.
  Outcome EndData();
  // QUIT and its reply; closes the connection. Fine means "Message sent".
  Outcome Quit();
  // QUIT when the connection is ready for a command, waiting at most 5
  // seconds for the reply, which changes nothing; then closes.
  void QuitQuietly();
  // The next envelope starts with RSET (after a transaction that failed).
  void ResetBeforeNextEnvelope() { reset_pending_ = true; }
  // Whether every reply is read even after a refusal ends the envelope (so
  // the connection stays in step for another transaction or a QUIT), at
  // the cost of waiting for replies that change nothing.
  void set_stay_in_step(bool stay) { stay_in_step_ = stay; }

  // Whether the connection is open and ready for the next command: every
  // reply read, not inside DATA, the server not closing it.
  bool ready() const { return ready_ && connection_.is_open(); }
  // Whether the connection failed under the session: the server closed it
  // or said 421, a reply did not come, or a send failed.
  bool lost() const { return lost_; }
  // Whether the server has said or done nothing unasked since the last
  // reply (see SmtpConnection::LooksIdle).
  bool LooksIdle() { return ready() && connection_.LooksIdle(); }
  // Whether any byte of content went out since the last envelope.
  bool content_started() const { return content_started_; }
  const ServerExtensions& extensions() const { return extensions_; }
  bool speaks_ehlo() const { return settings_.greeting == Greeting::kEhlo; }
  const ServerSettings& settings() const { return settings_; }
  // "host:port" of the server last connected or tried ("" before).
  const std::string& address() const { return address_; }

 private:
  // Sends `line` and reads the reply, which must be `expected`.
  Outcome Command(SmtpCommand command, std::string_view line, std::chrono::milliseconds timeout,
                  int expected, std::vector<std::string>* lines = nullptr);
  // Reads the reply to `command`, which must be `expected`; `lines` as for
  // ReadReply.
  Outcome Reply(SmtpCommand command, std::chrono::milliseconds timeout, int expected,
                std::vector<std::string>* lines = nullptr);
  // Reads one reply: its code, and its text in `*text` ("" when none came,
  // and then the session is no longer ready).
  int ReadOne(std::chrono::milliseconds timeout, std::string* text,
              std::vector<std::string>* lines = nullptr);
  // The outcome of a failed send of `command`.
  Outcome NotSent(SmtpCommand command);
  // `outcome` with the reply `text` that decided it, or, when none came,
  // the reason why not.
  Outcome Decided(Outcome outcome, const std::string& text) const;
  // EHLO and the extensions its reply offers.
  Outcome Ehlo();
  Outcome StartTls();
  Outcome Authenticate();

  // Bytes of encoded content gathered before a send, and the most of a piece
  // encoded at once.
  static constexpr size_t kContentBuffer = 64 * 1024;

  SmtpTimeouts timeouts_;
  ServerSettings settings_;
  std::string host_;             // as the operator wrote it, for certificate checks
  std::string address_;          // "host:port"
  std::string password_;         // wiped when the session goes
  ServerExtensions extensions_;  // of the last EHLO reply
  bool data_sent_ = false;       // DATA went out with a pipelined envelope
  bool ready_ = false;           // see ready()
  bool lost_ = false;            // see lost()
  bool reset_pending_ = false;   // RSET goes before the next MAIL FROM
  bool content_started_ = false;
  bool stay_in_step_ = false;
  std::string reason_;  // why the last reply did not come, for WithReason
  SmtpConnection connection_;
  ContentEncoder encoder_;
  std::string encoded_;  // encoded content not sent yet
};

// The local host's name for HELO; "localhost" when it cannot be had.
std::string LocalHostName();

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_SMTP_SESSION_H_
