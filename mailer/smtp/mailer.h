#ifndef VERDANPOST_MAILER_SMTP_MAILER_H_
#define VERDANPOST_MAILER_SMTP_MAILER_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mailer/smtp/message_text.h"
#include "mailer/smtp/outcome.h"
#include "mailer/smtp/smtp_timeouts.h"

namespace verdanpost {

struct MessageArguments;

class SmtpSession;

// The state and the send operations of one SMTPMailer object, in narrow
// (UTF-8) text. The automation object forwards every member here; this class
// knows nothing of automation. Every Send* call records its outcome once and
// never throws.
//
// Two switches, both off by default, change how a call ends:
// partial_delivery: a recipient the server (or the mailer) refuses is left
//   out and listed in refused_recipients(); a server that takes no more
//   recipients gets the rest in further transactions; a message the server
//   accepted counts as sent whatever QUIT gets; a failure sends QUIT.
// keep_connection: the connection stays open after a call for the next one
//   to the same server with the same settings; Disconnect() ends it.
class Mailer {
 public:
  Mailer();
  ~Mailer();  // QUIT and close a kept connection
  Mailer(const Mailer&) = delete;
  Mailer& operator=(const Mailer&) = delete;

  const std::string& server_name() const { return server_name_; }
  // A different name ends a kept connection first.
  void set_server_name(std::string name);
  int32_t ignore_to() const { return ignore_to_; }
  void set_ignore_to(int32_t value) { ignore_to_ = value; }
  bool partial_delivery() const { return partial_delivery_; }
  void set_partial_delivery(bool on) { partial_delivery_ = on; }
  bool keep_connection() const { return keep_connection_; }
  // Off ends a kept connection.
  void set_keep_connection(bool on);
  // Header lines that built messages (SendMessage, SendMessageFromFile)
  // carry after Message-ID; checked by each such call (CheckExtraHeaders).
  // Raw messages go as they stand.
  const std::string& extra_headers() const { return extra_headers_; }
  void set_extra_headers(std::string lines) { extra_headers_ = std::move(lines); }

  int32_t error_code() const { return outcome_.code(); }
  const std::string& error_message() const { return outcome_.message(); }
  // The server's whole reply that decided the last call ("" when none did).
  const std::string& server_reply() const { return outcome_.server_reply(); }
  // For a failure of the last call that no reply decided, the system's
  // reason ("Connection refused"); "" otherwise.
  const std::string& failure_reason() const { return outcome_.failure_reason(); }
  // One line per recipient the last call left out: address, TAB, code,
  // TAB, the reply's text; "" when none.
  const std::string& refused_recipients() const { return refused_recipients_; }
  // "host:port" the last call that connected went to or tried ("" before).
  const std::string& server_address() const { return server_address_; }
  // With partial delivery: the fewest recipients the server took in a
  // transaction whose further recipients it deferred as too many, in the
  // session of the last call; later calls in a kept session offer no more
  // per transaction. 0 when it said no such thing. A new session starts
  // again at 0.
  int32_t recipient_limit() const { return recipient_limit_; }

  void SendMessage(const std::string& from, const std::string& to, const std::string& cc,
                   const std::string& bcc, const std::string& subject, const std::string& message);
  // The same with a text that is read in pieces while it is sent.
  void SendMessage(const std::string& from, const std::string& to, const std::string& cc,
                   const std::string& bcc, const std::string& subject, const MessageText& message);
  void SendMessageFromFile(const std::string& from, const std::string& to, const std::string& cc,
                           const std::string& bcc, const std::string& subject,
                           const std::string& file_name);
  void SendRawMessageFromFile(const std::string& file_name);
  void SendRawMessage(const std::string& message);
  // QUIT and close a kept connection; nothing when there is none. The
  // outcome of the last call stays as it is.
  void Disconnect();

  // Tests shorten the protocol's time-outs through this seam.
  void set_timeouts_for_testing(const SmtpTimeouts& timeouts) { timeouts_ = timeouts; }
  // And how long a kept connection may stay idle before it is replaced.
  void set_idle_limit_for_testing(std::chrono::milliseconds limit) { idle_limit_ = limit; }

 private:
  struct Job;  // what one send call hands to the dialogue

  struct BodySource;  // where the body of a message the mailer builds comes from
  // A message with a header the mailer builds from `args` and the extra
  // lines, over the body `source` gives.
  void SendComposed(const MessageArguments& args, const BodySource& source);

  // Runs `job` on a connection (kept or new) and records the outcome.
  void Run(Job* job);
  // A ready session for this call; `*reused` when it is the kept one.
  Outcome Acquire(bool* reused);
  // The transaction (or, with partial delivery, transactions) of `job`;
  // fine with the reply to the last end of data when it went.
  Outcome Transact(Job* job, bool* committed);
  Outcome TransactPartially(Job* job, const std::string& parameters, bool* committed);
  // " SIZE=n" and " BODY=8BITMIME" as the server offers them, or a refusal
  // of a message larger than it takes.
  Outcome MailParameters(Job* job, std::string* parameters);
  // Ends the call: QUIT, keep or close as the switches say.
  void Conclude(Outcome outcome);
  bool modern() const { return partial_delivery_ || keep_connection_; }

  std::string server_name_;
  int32_t ignore_to_ = 0;
  bool partial_delivery_ = false;
  bool keep_connection_ = false;
  std::string extra_headers_;
  Outcome outcome_ = Outcome::NoCallYet();  // of the last send call
  std::string refused_recipients_;
  std::string server_address_;
  int32_t recipient_limit_ = 0;  // of session_, learnt from its 452 replies
  SmtpTimeouts timeouts_;
  std::chrono::milliseconds idle_limit_ = std::chrono::seconds(60);

  std::unique_ptr<SmtpSession> session_;  // of the call, or kept between calls
  std::string session_server_;            // the server name it was opened for
  std::chrono::steady_clock::time_point last_used_;
};

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_MAILER_H_
