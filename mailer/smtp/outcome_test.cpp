#include "mailer/smtp/outcome.h"

#include <gtest/gtest.h>

namespace verdanpost {
namespace {

// A command that cannot be sent is hard to bring about through a socket
// (the write has to fail, not the reply), so the codes and texts each
// command gives are checked here; they are what callers compare against.
TEST(OutcomeTest, EachCommandGivesItsOwnCodeAndTexts) {
  struct Case {
    SmtpCommand command;
    int32_t not_sent_code;
    const char* not_sent;
    const char* refused;
  };
  const Case cases[] = {
      {SmtpCommand::kHelo, 7, "Could not send HELO to the server", "Server returned HELO error"},
      {SmtpCommand::kMailFrom, 2, "Could not send MAIL FROM to the server",
       "Server returned MAIL FROM error"},
      {SmtpCommand::kRcptTo, 3, "Could not send RCPT TO to the server",
       "Server returned RCPT TO error"},
      {SmtpCommand::kData, 8, "Could not send DATA to the server", "Server returned DATA error"},
      {SmtpCommand::kEndOfData, 11, "Could not write message ending to the server",
       "Server returned message error"},
      {SmtpCommand::kQuit, 12, "Could not send QUIT to the server", "Server returned QUIT error"},
      {SmtpCommand::kEhlo, 7, "Could not send EHLO to the server", "Server returned EHLO error"},
      {SmtpCommand::kStartTls, 56,
       "Could not start a secure connection: the STARTTLS command could not be sent",
       "Server returned STARTTLS error"},
      {SmtpCommand::kAuth, 57, "Could not authenticate: the AUTH command could not be sent",
       "Server returned AUTH error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.not_sent);
    Outcome not_sent = Outcome::NotSent(c.command);
    EXPECT_FALSE(not_sent.ok());
    EXPECT_EQ(not_sent.code(), c.not_sent_code);
    EXPECT_EQ(not_sent.message(), c.not_sent);
    // The server's reply code is kept, even one that reads as success.
    Outcome refused = Outcome::ServerRefused(c.command, 0);
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(refused.code(), 0);
    EXPECT_EQ(refused.message(), c.refused);
  }
}

}  // namespace
}  // namespace verdanpost
