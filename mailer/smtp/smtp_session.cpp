#include "mailer/smtp/smtp_session.h"

#include <unistd.h>

#include "mailer/smtp/address_list.h"
#include "mailer/smtp/reply_reader.h"

namespace verdanpost {
namespace {

// The replies that let a transaction go on.
constexpr int kReplyReady = 220;
constexpr int kReplyOk = 250;
constexpr int kReplyStartInput = 354;
constexpr int kReplyClosing = 221;

}  // namespace

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
      return Outcome::ConnectionWouldBlock();
    case SmtpConnection::ConnectResult::kFailed:
      return Outcome::CannotConnect();
  }
  int code = ReadReply(&connection_, timeouts_.greeting);
  if (code != kReplyReady) return Outcome::BadGreeting(code);
  return Outcome::Fine();
}

Outcome SmtpSession::Helo() {
  return Command(SmtpCommand::kHelo, "HELO " + LocalHostName() + "\r\n", timeouts_.helo, kReplyOk);
}

Outcome SmtpSession::SendEnvelope(const std::string& sender,
                                  const std::vector<std::string>& recipients) {
  Outcome outcome =
      Command(SmtpCommand::kMailFrom, "MAIL FROM:<" + AddressOfEntry(sender) + ">\r\n",
              timeouts_.mail_from, kReplyOk);
  for (size_t i = 0; outcome.ok() && i < recipients.size(); ++i) {
    outcome = Command(SmtpCommand::kRcptTo, "RCPT TO:<" + recipients[i] + ">\r\n",
                      timeouts_.rcpt_to, kReplyOk);
  }
  return outcome;
}

Outcome SmtpSession::Data() {
  return Command(SmtpCommand::kData, "DATA\r\n", timeouts_.data, kReplyStartInput);
}

Outcome SmtpSession::SendContent(std::string_view piece) {
  while (!piece.empty()) {
    std::string_view slice = piece.substr(0, kContentBuffer);
    piece.remove_prefix(slice.size());
    encoder_.Encode(slice, &encoded_);
    if (encoded_.size() < kContentBuffer) continue;
    // More content or the marker follows: let the last partial segment wait.
    if (!connection_.SendAll(encoded_, timeouts_.content_send, SmtpConnection::Flush::kMore)) {
      return Outcome::ContentNotWritten();
    }
    encoded_.clear();
  }
  return Outcome::Fine();
}

Outcome SmtpSession::EndData() {
  // The rest of the content and the marker go in one send; where it fails
  // tells whose failure it is.
  size_t content = encoded_.size();
  encoded_.append("\r\n.\r\n");
  size_t sent = 0;
  bool ok =
      connection_.SendAll(encoded_, timeouts_.content_send, SmtpConnection::Flush::kLast, &sent);
  encoded_.clear();
  if (!ok) {
    return sent < content ? Outcome::ContentNotWritten()
                          : Outcome::NotSent(SmtpCommand::kEndOfData);
  }
  int code = ReadReply(&connection_, timeouts_.end_of_data);
  if (code != kReplyOk) return Outcome::ServerRefused(SmtpCommand::kEndOfData, code);
  return Outcome::Fine();
}

Outcome SmtpSession::Quit() {
  Outcome outcome = Command(SmtpCommand::kQuit, "QUIT\r\n", timeouts_.quit, kReplyClosing);
  connection_.Close();
  return outcome;
}

Outcome SmtpSession::Command(SmtpCommand command, std::string_view line,
                             std::chrono::milliseconds timeout, int expected) {
  if (!connection_.SendAll(line, timeout)) return Outcome::NotSent(command);
  int code = ReadReply(&connection_, timeout);
  if (code != expected) return Outcome::ServerRefused(command, code);
  return Outcome::Fine();
}

}  // namespace verdanpost
