#include "mailer/smtp/smtp_session.h"

#include <unistd.h>

#include "mailer/smtp/address_list.h"
#include "mailer/smtp/reply_reader.h"

namespace verdanpost {

std::string LocalHostName() {
  char name[256];
  if (::gethostname(name, sizeof(name)) != 0) return "localhost";
  name[sizeof(name) - 1] = '\0';
  return name;
}

Outcome SmtpSession::Open(const std::string& server_name) {
  switch (connection_.Connect(server_name, timeouts_.greeting)) {
    case SmtpConnection::ConnectResult::kConnected:
      break;
    case SmtpConnection::ConnectResult::kNoSocket:
      return Outcome::Failure(5, "Connection would block");
    case SmtpConnection::ConnectResult::kFailed:
      return Outcome::Failure(6, "Could not connect to server");
  }
  int code = ReadReply(&connection_, timeouts_.greeting);
  if (code != 220)
    return Outcome::Failure(code, "Server returned incorrect response on connection");
  return Outcome::Fine();
}

Outcome SmtpSession::Helo() {
  return Command("HELO " + LocalHostName() + "\r\n", timeouts_.helo, 7,
                 "Could not send HELO to the server", 250, "Server returned HELO error");
}

Outcome SmtpSession::SendEnvelope(const std::string& sender,
                                  const std::vector<std::string>& recipients) {
  Outcome outcome =
      Command("MAIL FROM:<" + AddressOfEntry(sender) + ">\r\n", timeouts_.mail_from, 2,
              "Could not send MAIL FROM to the server", 250, "Server returned MAIL FROM error");
  for (size_t i = 0; outcome.ok() && i < recipients.size(); ++i) {
    outcome = Command("RCPT TO:<" + recipients[i] + ">\r\n", timeouts_.rcpt_to, 3,
                      "Could not send RCPT TO to the server", 250, "Server returned RCPT TO error");
  }
  return outcome;
}

Outcome SmtpSession::Data() {
  return Command("DATA\r\n", timeouts_.data, 8, "Could not send DATA to the server", 354,
                 "Server returned DATA error");
}

Outcome SmtpSession::SendContent(std::string_view piece) {
  encoded_.clear();
  encoder_.Encode(piece, &encoded_);
  if (!connection_.SendAll(encoded_, timeouts_.content_send)) {
    return Outcome::Failure(10, "Could not write message to the server");
  }
  return Outcome::Fine();
}

Outcome SmtpSession::EndData() {
  return Command("\r\n.\r\n", timeouts_.end_of_data, 11,
                 "Could not write message ending to the server", 250,
                 "Server returned message error");
}

Outcome SmtpSession::Quit() {
  Outcome outcome = Command("QUIT\r\n", timeouts_.quit, 12, "Could not send QUIT to the server",
                            221, "Server returned QUIT error");
  connection_.Close();
  return outcome;
}

Outcome SmtpSession::Command(std::string_view line, std::chrono::milliseconds timeout,
                             int32_t send_code, const char* send_message, int expected,
                             const char* reply_message) {
  if (!connection_.SendAll(line, timeout)) return Outcome::Failure(send_code, send_message);
  int code = ReadReply(&connection_, timeout);
  if (code != expected) return Outcome::Failure(code, reply_message);
  return Outcome::Fine();
}

}  // namespace verdanpost
