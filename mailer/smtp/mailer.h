#ifndef VERDANPOST_MAILER_SMTP_MAILER_H_
#define VERDANPOST_MAILER_SMTP_MAILER_H_

#include <cstdint>
#include <string>

#include "mailer/smtp/message_text.h"
#include "mailer/smtp/outcome.h"
#include "mailer/smtp/smtp_timeouts.h"

namespace verdanpost {

// The state and the send operations of one SMTPMailer object, in narrow
// (UTF-8) text. The automation object forwards every member here; this class
// knows nothing of automation. Every Send* call records its outcome once and
// never throws.
class Mailer {
 public:
  Mailer();
  Mailer(const Mailer&) = delete;
  Mailer& operator=(const Mailer&) = delete;

  const std::string& server_name() const { return server_name_; }
  void set_server_name(std::string name) { server_name_ = std::move(name); }
  int32_t ignore_to() const { return ignore_to_; }
  void set_ignore_to(int32_t value) { ignore_to_ = value; }
  int32_t error_code() const { return outcome_.code(); }
  const std::string& error_message() const { return outcome_.message(); }

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

  // Tests shorten the protocol's time-outs through this seam.
  void set_timeouts_for_testing(const SmtpTimeouts& timeouts) { timeouts_ = timeouts; }

 private:
  std::string server_name_;
  int32_t ignore_to_ = 0;
  Outcome outcome_ = Outcome::NoCallYet();  // of the last send call
  SmtpTimeouts timeouts_;
};

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_MAILER_H_
