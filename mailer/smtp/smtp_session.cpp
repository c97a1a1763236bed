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
// The server is closing the connection, whatever command it answers.
constexpr int kReplyClosing421 = 421;

// How long a QUIT after a failure waits for its reply.
constexpr std::chrono::milliseconds kQuietQuitWait = std::chrono::seconds(5);

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

// Whether a 452 reply carries the enhanced code 4.5.3, "too many
// recipients", on its first line.
bool IsTooManyRecipients(std::string_view reply) {
  return reply.size() >= 9 && reply.substr(4, 5) == "4.5.3";
}

// "host:port" of a server name, the host of an IPv6 address in brackets.
std::string AddressText(const std::string& server_name) {
  ServerAddress address = ParseServerName(server_name);
  if (address.host.find(':') != std::string::npos) return "[" + address.host + "]:" + address.port;
  return address.host + ":" + address.port;
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
  address_ = AddressText(server_name);
  switch (connection_.Connect(server_name, timeouts_.greeting)) {
    case SmtpConnection::ConnectResult::kConnected:
      break;
    case SmtpConnection::ConnectResult::kNoSocket:
      return Outcome::ConnectionWouldBlock().WithReason(connection_.failure_reason());
    case SmtpConnection::ConnectResult::kFailed:
      return Outcome::CannotConnect().WithReason(connection_.failure_reason());
  }
  if (settings_.security == Security::kTls) {
    std::string why;
    if (!connection_.StartTls(host_, settings_.ca_file,
                              SmtpConnection::Clock::now() + timeouts_.greeting, &why)) {
      return Outcome::NoSecureConnection(why);
    }
  }
  std::string text;
  int code = ReadOne(timeouts_.greeting, &text);
  if (code != kReplyReady) return Decided(Outcome::BadGreeting(code), text);
  ready_ = true;
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
                                  const std::vector<std::string>& recipients,
                                  const std::string& parameters,
                                  std::vector<RecipientReply>* replies) {
  if (replies != nullptr) replies->assign(recipients.size(), RecipientReply{});
  content_started_ = false;
  struct Step {
    SmtpCommand command;
    std::string line;
    bool reset = false;
  };
  std::vector<Step> steps;
  steps.reserve(recipients.size() + 3);
  // A failed RSET is a failure to start the envelope.
  if (reset_pending_) steps.push_back({SmtpCommand::kMailFrom, "RSET\r\n", true});
  steps.push_back(
      {SmtpCommand::kMailFrom, "MAIL FROM:<" + AddressOfEntry(sender) + ">" + parameters + "\r\n"});
  const size_t first_recipient = steps.size();
  for (const std::string& recipient : recipients) {
    steps.push_back({SmtpCommand::kRcptTo, "RCPT TO:<" + recipient + ">\r\n"});
  }
  const bool pipelined = speaks_ehlo() && extensions_.pipelining;
  if (pipelined) steps.push_back({SmtpCommand::kData, "DATA\r\n"});

  Outcome failure = Outcome::Fine();  // the first that ends the envelope
  size_t accepted = 0;
  bool deferring = false;
  // Takes the reply to steps[i]; false when nothing more may be sent.
  auto take = [&](size_t i, int code, const std::string& text) {
    const Step& step = steps[i];
    if (!failure.ok()) return true;  // only read, to stay in step
    if (step.command != SmtpCommand::kRcptTo) {
      if (code != kReplyOk) failure = Decided(Outcome::ServerRefused(step.command, code), text);
      if (step.reset && code == kReplyOk) reset_pending_ = false;
      return failure.ok();
    }
    if (replies == nullptr) {
      if (code != kReplyOk) failure = Decided(Outcome::ServerRefused(step.command, code), text);
      return failure.ok();
    }
    RecipientReply& reply = (*replies)[i - first_recipient];
    reply.code = code;
    reply.reply = text;
    if (code >= 200 && code <= 299) {
      reply.verdict = RecipientReply::Verdict::kAccepted;
      ++accepted;
    } else if (code == 452 &&
               (deferring || accepted > 0 || (IsTooManyRecipients(text) && i > first_recipient))) {
      // The server takes no more in this transaction. The first recipient
      // of a transaction is never deferred, so every transaction settles
      // at least one and a send always comes to an end.
      reply.verdict = RecipientReply::Verdict::kDeferred;
      deferring = true;
    } else if (code >= 400 && code <= 599) {
      reply.verdict = RecipientReply::Verdict::kRefused;
    } else {
      failure = Decided(Outcome::ServerRefused(step.command, code), text);
      return false;
    }
    return true;
  };

  if (!pipelined) {
    for (size_t i = 0; i < steps.size(); ++i) {
      if (deferring && steps[i].command == SmtpCommand::kRcptTo) {
        (*replies)[i - first_recipient].verdict = RecipientReply::Verdict::kDeferred;
        continue;
      }
      std::chrono::milliseconds timeout =
          steps[i].command == SmtpCommand::kRcptTo ? timeouts_.rcpt_to : timeouts_.mail_from;
      if (!connection_.SendAll(steps[i].line, timeout)) return NotSent(steps[i].command);
      std::string text;
      int code = ReadOne(timeout, &text);
      if (!ready_) {
        return failure.ok() ? Decided(Outcome::ServerRefused(steps[i].command, code), text)
                            : failure;
      }
      if (!take(i, code, text)) return failure;
    }
    return failure;
  }

  for (size_t start = 0; start < steps.size() && failure.ok(); start += kPipelineWindow) {
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
      return failure.ok() ? NotSent(steps[failed].command) : failure;
    }
    // The replies come in the order of the commands; the first refusal is
    // the outcome, as if each command had waited for the one before.
    for (size_t i = start; i < end; ++i) {
      if (steps[i].command == SmtpCommand::kData) {
        data_sent_ = true;  // its reply is read by Data()
        break;
      }
      std::chrono::milliseconds timeout =
          steps[i].command == SmtpCommand::kRcptTo ? timeouts_.rcpt_to : timeouts_.mail_from;
      std::string text;
      int code = ReadOne(timeout, &text);
      if (!ready_)
        return failure.ok() ? Decided(Outcome::ServerRefused(steps[i].command, code), text)
                            : failure;
      if (!take(i, code, text) && !stay_in_step_) {
        // The replies still on their way are left unread: the connection
        // cannot be used again.
        ready_ = false;
        return failure;
      }
    }
  }
  if ((!failure.ok() || (replies != nullptr && accepted == 0)) && data_sent_) {
    // DATA went out too, for nothing: read its reply, and if the server
    // now waits for content, nothing but closing can end the transaction.
    data_sent_ = false;
    std::string text;
    if (ReadOne(timeouts_.data, &text) == kReplyStartInput) ready_ = false;
  }
  return failure;
}

Outcome SmtpSession::Data() {
  Outcome outcome = Outcome::Fine();
  if (data_sent_) {
    data_sent_ = false;
    outcome = Reply(SmtpCommand::kData, timeouts_.data, kReplyStartInput);
  } else {
    outcome = Command(SmtpCommand::kData, "DATA\r\n", timeouts_.data, kReplyStartInput);
  }
  if (outcome.ok()) {
    // From here on the transaction can only be ended by the marker or by
    // closing the connection.
    content_started_ = true;
    ready_ = false;
  }
  return outcome;
}

Outcome SmtpSession::SendContent(std::string_view piece) {
  while (!piece.empty()) {
    std::string_view slice = piece.substr(0, kContentBuffer);
    piece.remove_prefix(slice.size());
    encoder_.Encode(slice, &encoded_);
    if (encoded_.size() < kContentBuffer) continue;
    // More content or the marker follows: let the last partial segment wait.
    if (!connection_.SendAll(encoded_, timeouts_.content_send, SmtpConnection::Flush::kMore)) {
      return Outcome::ContentNotWritten().WithReason(connection_.failure_reason());
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
  encoder_ = ContentEncoder();
  if (!ok) {
    return (sent < content ? Outcome::ContentNotWritten()
                           : Outcome::NotSent(SmtpCommand::kEndOfData))
        .WithReason(connection_.failure_reason());
  }
  ready_ = true;  // unless the reply does not come
  return Reply(SmtpCommand::kEndOfData, timeouts_.end_of_data, kReplyOk);
}

Outcome SmtpSession::Quit() {
  Outcome outcome = Command(SmtpCommand::kQuit, "QUIT\r\n", timeouts_.quit, kReplyClosing);
  connection_.Close();
  ready_ = false;
  return outcome;
}

void SmtpSession::QuitQuietly() {
  if (ready()) {
    std::chrono::milliseconds wait = std::min(timeouts_.quit, kQuietQuitWait);
    std::string text;
    if (connection_.SendAll("QUIT\r\n", wait)) ReadOne(wait, &text);
  }
  connection_.Close();
  ready_ = false;
}

Outcome SmtpSession::Command(SmtpCommand command, std::string_view line,
                             std::chrono::milliseconds timeout, int expected,
                             std::vector<std::string>* lines) {
  if (!connection_.SendAll(line, timeout)) return NotSent(command);
  return Reply(command, timeout, expected, lines);
}

Outcome SmtpSession::NotSent(SmtpCommand command) {
  ready_ = false;
  lost_ = true;
  return Outcome::NotSent(command).WithReason(connection_.failure_reason());
}

Outcome SmtpSession::Reply(SmtpCommand command, std::chrono::milliseconds timeout, int expected,
                           std::vector<std::string>* lines) {
  std::string text;
  int code = ReadOne(timeout, &text, lines);
  if (code != expected) return Decided(Outcome::ServerRefused(command, code), text);
  return Outcome::Fine().WithReply(std::move(text));
}

int SmtpSession::ReadOne(std::chrono::milliseconds timeout, std::string* text,
                         std::vector<std::string>* lines) {
  std::vector<std::string> own;
  if (lines == nullptr) lines = &own;
  lines->clear();
  ReplyEnd end = ReplyEnd::kWhole;
  int code = ReadReply(&connection_, timeout, lines, &end);
  text->clear();
  reason_.clear();
  if (end != ReplyEnd::kWhole) {
    // Out of step with the server for good.
    ready_ = false;
    lost_ = end == ReplyEnd::kCutOff;
    reason_ = end == ReplyEnd::kTooLong ? "the server's reply went on past 1,000 lines or 64 KiB"
                                        : connection_.failure_reason();
    return code;
  }
  for (const std::string& line : *lines) {
    std::string_view shown = line;
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) shown.remove_suffix(1);
    if (!text->empty()) text->push_back('\n');
    text->append(shown);
  }
  if (code == kReplyClosing421) {  // the server is closing the connection
    ready_ = false;
    lost_ = true;
  }
  return code;
}

Outcome SmtpSession::Decided(Outcome outcome, const std::string& text) const {
  if (text.empty()) return std::move(outcome).WithReason(reason_);
  return std::move(outcome).WithReply(text);
}

}  // namespace verdanpost
