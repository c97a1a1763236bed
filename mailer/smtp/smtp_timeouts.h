#ifndef VERDANPOST_MAILER_SMTP_SMTP_TIMEOUTS_H_
#define VERDANPOST_MAILER_SMTP_SMTP_TIMEOUTS_H_

#include <chrono>

namespace verdanpost {

// How long the client waits at each step of a transaction, as the SMTP
// protocol recommends for a client.
struct SmtpTimeouts {
  std::chrono::milliseconds greeting{std::chrono::minutes(5)};
  std::chrono::milliseconds helo{std::chrono::minutes(5)};
  std::chrono::milliseconds mail_from{std::chrono::minutes(5)};
  std::chrono::milliseconds rcpt_to{std::chrono::minutes(5)};
  std::chrono::milliseconds data{std::chrono::minutes(2)};
  std::chrono::milliseconds content_send{std::chrono::minutes(3)};
  std::chrono::milliseconds end_of_data{std::chrono::minutes(10)};
  std::chrono::milliseconds quit{std::chrono::minutes(5)};
};

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_SMTP_TIMEOUTS_H_
