#include "mailer/smtp/smtp_session.h"

#include <openssl/crypto.h>
#include <unistd.h>

#include <algorithm>

#include "mailer/smtp/address_list.h"
#include "mailer/smtp/reply_reader.h"
#include "mailer/smtp/server_address.h"

namespace verdanpost {
namespace {

// The replies that let a transaction go on.
constexpr int kReplyReady = 220;
constexpr int kReplyOk = 250;
constexpr int kReplyStartInput = 354;
constexpr int kReplyClosing = 221;
constexpr int kReplyAuthenticated = 235;
constexpr int kReplyChallenge = 334;

// Commands per write of a pipelined envelope. A window keeps the replies
// that wait unread small enough for the sockets' buffers, so a server that
// stops reading until its replies are taken can never stall the write.
constexpr size_t kPipelineWindow = 256;

// Overwrites a copy of the password (or a line that holds it) before its
// memory goes back to the heap.
void Wipe(std::string* secret) { OPENSSL_cleanse(secret->data(), secret->size()); }

std::string Join(const std::vector<std::string>& words) {
  std::string joined;
  for (const std::string& word : words) joined += (joined.empty() ? "" : " ") + word;
  return joined;
}

}  // namespace

std::string LocalHostName() {
  char name[256];
  if (::gethostname(name, sizeof(name)) != 0) return "localhost";
  name[sizeof(name) - 1] = '\0';
  return name;
}

SmtpSession::~SmtpSession() {
  Wipe(&password_);
  Wipe(&settings_.password);
}

Outcome SmtpSession::Open(const std::string& server_name) {
  Outcome settings = ReadServerSettings(ServerSettingsPath(), server_name, &settings_);
  if (!settings.ok()) return settings;
  if (!settings_.user.empty()) {
    if (settings_.security == Security::kNone) {
      return Outcome::CannotAuthenticate(
          "the password would cross the network in clear text; set Security to starttls or "
          "tls for " +
          server_name);
    }
    Outcome password = ResolvePassword(settings_, &password_);
    if (!password.ok()) return password;
  }
  host_ = ParseServerName(server_name).host;
  switch (connection_.Connect(server_name, timeouts_.greeting)) {
    case SmtpConnection::ConnectResult::kConnected:
      break;
    case SmtpConnection::ConnectResult::kNoSocket:
      return Outcome::ConnectionWouldBlock();
    case SmtpConnection::ConnectResult::kFailed:
      return Outcome::CannotConnect();
  }
  if (settings_.security == Security::kTls) {
    std::string why;
    if (!connection_.StartTls(host_, settings_.ca_file,
                              SmtpConnection::Clock::now() + timeouts_.greeting, &why)) {
      return Outcome::NoSecureConnection(why);
    }
  }
  int code = ReadReply(&connection_, timeouts_.greeting);
  if (code != kReplyReady) return Outcome::BadGreeting(code);
  return Outcome::Fine();
}

Outcome SmtpSession::Helo() {
  if (settings_.greeting == Greeting::kHelo) {
    return Command(SmtpCommand::kHelo, "HELO " + LocalHostName() + "\r\n", timeouts_.helo,
                   kReplyOk);
  }
  Outcome outcome = Ehlo();
  if (outcome.ok() && settings_.security == Security::kStartTls) outcome = StartTls();
  if (outcome.ok() && !settings_.user.empty()) outcome = Authenticate();
  return outcome;
}

Outcome SmtpSession::Ehlo() {
  std::vector<std::string> lines;
  Outcome outcome = Command(SmtpCommand::kEhlo, "EHLO " + LocalHostName() + "\r\n", timeouts_.helo,
                            kReplyOk, &lines);
  if (outcome.ok()) extensions_ = ParseEhloReply(lines);
  return outcome;
}

Outcome SmtpSession::StartTls() {
  // Never fall back to plain text: without the offer the call ends here.
  if (!extensions_.starttls) {
    return Outcome::NoSecureConnection(
        "the server does not offer STARTTLS; ask its operator, or use Security = tls on the "
        "server's TLS port (465)");
  }
  Outcome outcome = Command(SmtpCommand::kStartTls, "STARTTLS\r\n", timeouts_.helo, kReplyReady);
  if (!outcome.ok()) return outcome;
  std::string why;
  if (!connection_.StartTls(host_, settings_.ca_file, SmtpConnection::Clock::now() + timeouts_.helo,
                            &why)) {
    return Outcome::NoSecureConnection(why);
  }
  // What the server offered in plain text may have been tampered with.
  return Ehlo();
}

Outcome SmtpSession::Authenticate() {
  if (!extensions_.auth) {
    return Outcome::CannotAuthenticate(
        "the server does not offer authentication; remove User from its settings if it needs "
        "none");
  }
  Outcome outcome = Outcome::Fine();
  switch (ChooseMechanism(extensions_)) {
    case AuthMechanism::kPlain: {
      std::string line = AuthPlainCommand(settings_.user, password_);
      outcome = Command(SmtpCommand::kAuth, line, timeouts_.helo, kReplyAuthenticated);
      Wipe(&line);
      break;
    }
    case AuthMechanism::kLogin:
      outcome = Command(SmtpCommand::kAuth, "AUTH LOGIN\r\n", timeouts_.helo, kReplyChallenge);
      if (outcome.ok()) {
        outcome = Command(SmtpCommand::kAuth, AuthLoginAnswer(settings_.user), timeouts_.helo,
                          kReplyChallenge);
      }
      if (outcome.ok()) {
        std::string line = AuthLoginAnswer(password_);
        outcome = Command(SmtpCommand::kAuth, line, timeouts_.helo, kReplyAuthenticated);
        Wipe(&line);
      }
      break;
    case AuthMechanism::kNone:
      return Outcome::CannotAuthenticate("the server offers only " +
                                         Join(extensions_.auth_mechanisms) +
                                         ", and the mailer signs in with PLAIN or LOGIN");
  }
  return outcome;
}

Outcome SmtpSession::SendEnvelope(const std::string& sender,
                                  const std::vector<std::string>& recipients) {
  if (settings_.greeting == Greeting::kEhlo && extensions_.pipelining) {
    return SendPipelined(sender, recipients);
  }
  Outcome outcome =
      Command(SmtpCommand::kMailFrom, "MAIL FROM:<" + AddressOfEntry(sender) + ">\r\n",
              timeouts_.mail_from, kReplyOk);
  for (size_t i = 0; outcome.ok() && i < recipients.size(); ++i) {
    outcome = Command(SmtpCommand::kRcptTo, "RCPT TO:<" + recipients[i] + ">\r\n",
                      timeouts_.rcpt_to, kReplyOk);
  }
  return outcome;
}

Outcome SmtpSession::SendPipelined(const std::string& sender,
                                   const std::vector<std::string>& recipients) {
  struct Step {
    SmtpCommand command;
    std::string line;
  };
  std::vector<Step> steps;
  steps.reserve(recipients.size() + 2);
  steps.push_back({SmtpCommand::kMailFrom, "MAIL FROM:<" + AddressOfEntry(sender) + ">\r\n"});
  for (const std::string& recipient : recipients) {
    steps.push_back({SmtpCommand::kRcptTo, "RCPT TO:<" + recipient + ">\r\n"});
  }
  steps.push_back({SmtpCommand::kData, "DATA\r\n"});
  for (size_t start = 0; start < steps.size(); start += kPipelineWindow) {
    size_t end = std::min(steps.size(), start + kPipelineWindow);
    std::string batch;
    for (size_t i = start; i < end; ++i) batch += steps[i].line;
    size_t sent = 0;
    if (!connection_.SendAll(batch, timeouts_.rcpt_to, SmtpConnection::Flush::kLast, &sent)) {
      // The failure is that of the first command not sent whole.
      size_t failed = start;
      for (size_t whole = steps[failed].line.size(); whole <= sent && failed + 1 < end;
           whole += steps[failed].line.size()) {
        ++failed;
      }
      return Outcome::NotSent(steps[failed].command);
    }
    // The replies come in the order of the commands; the first refusal is
    // the outcome, as if each command had waited for the one before.
    for (size_t i = start; i < end; ++i) {
      if (steps[i].command == SmtpCommand::kData) {
        data_sent_ = true;  // its reply is read by Data()
        break;
      }
      std::chrono::milliseconds timeout =
          steps[i].command == SmtpCommand::kMailFrom ? timeouts_.mail_from : timeouts_.rcpt_to;
      Outcome reply = Reply(steps[i].command, timeout, kReplyOk);
      if (!reply.ok()) return reply;
    }
  }
  return Outcome::Fine();
}

Outcome SmtpSession::Data() {
  if (data_sent_) return Reply(SmtpCommand::kData, timeouts_.data, kReplyStartInput);
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
  return Reply(SmtpCommand::kEndOfData, timeouts_.end_of_data, kReplyOk);
}

Outcome SmtpSession::Quit() {
  Outcome outcome = Command(SmtpCommand::kQuit, "QUIT\r\n", timeouts_.quit, kReplyClosing);
  connection_.Close();
  return outcome;
}

Outcome SmtpSession::Command(SmtpCommand command, std::string_view line,
                             std::chrono::milliseconds timeout, int expected,
                             std::vector<std::string>* lines) {
  if (!connection_.SendAll(line, timeout)) return Outcome::NotSent(command);
  return Reply(command, timeout, expected, lines);
}

Outcome SmtpSession::Reply(SmtpCommand command, std::chrono::milliseconds timeout, int expected,
                           std::vector<std::string>* lines) {
  int code = ReadReply(&connection_, timeout, lines);
  if (code != expected) return Outcome::ServerRefused(command, code);
  return Outcome::Fine();
}

}  // namespace verdanpost
