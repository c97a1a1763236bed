#include "mailer/smtp/outcome.h"

#include <iterator>

namespace verdanpost {
namespace {

struct CommandTexts {
  Outcome::Code not_sent_code;
  const char* not_sent;
  const char* refused;
};

// Indexed by SmtpCommand.
constexpr CommandTexts kCommandTexts[] = {
    {Outcome::Code::kHeloNotSent, "Could not send HELO to the server",
     "Server returned HELO error"},
    {Outcome::Code::kMailFromNotSent, "Could not send MAIL FROM to the server",
     "Server returned MAIL FROM error"},
    {Outcome::Code::kRcptToNotSent, "Could not send RCPT TO to the server",
     "Server returned RCPT TO error"},
    {Outcome::Code::kDataNotSent, "Could not send DATA to the server",
     "Server returned DATA error"},
    {Outcome::Code::kEndOfDataNotWritten, "Could not write message ending to the server",
     "Server returned message error"},
    {Outcome::Code::kQuitNotSent, "Could not send QUIT to the server",
     "Server returned QUIT error"},
    // EHLO stands in for HELO, so a failed send keeps HELO's code.
    {Outcome::Code::kHeloNotSent, "Could not send EHLO to the server",
     "Server returned EHLO error"},
    {Outcome::Code::kNoSecureConnection,
     "Could not start a secure connection: the STARTTLS command could not be sent",
     "Server returned STARTTLS error"},
    {Outcome::Code::kCannotAuthenticate,
     "Could not authenticate: the AUTH command could not be sent", "Server returned AUTH error"},
};

static_assert(std::size(kCommandTexts) == static_cast<size_t>(SmtpCommand::kAuth) + 1,
              "one entry per SmtpCommand");

const CommandTexts& TextsOf(SmtpCommand command) {
  return kCommandTexts[static_cast<size_t>(command)];
}

}  // namespace

Outcome Outcome::MessageTooLarge(uint64_t size, uint64_t limit) {
  return Failure(Code::kMessageTooLarge, "Message is larger than the server accepts (" +
                                             std::to_string(size) + " bytes, at most " +
                                             std::to_string(limit) + ")");
}

Outcome Outcome::BadGreeting(int32_t reply_code) {
  return Outcome(true, reply_code, "Server returned incorrect response on connection");
}

Outcome Outcome::NotSent(SmtpCommand command) {
  const CommandTexts& texts = TextsOf(command);
  return Failure(texts.not_sent_code, texts.not_sent);
}

Outcome Outcome::ServerRefused(SmtpCommand command, int32_t reply_code) {
  return Outcome(true, reply_code, TextsOf(command).refused);
}

}  // namespace verdanpost
