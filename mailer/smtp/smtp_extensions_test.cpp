#include "mailer/smtp/smtp_extensions.h"

#include <gtest/gtest.h>

#include "mailer/smtp/base64.h"

namespace verdanpost {
namespace {

TEST(SmtpExtensionsTest, KeywordsOfAnEhloReply) {
  ServerExtensions e =
      ParseEhloReply({"250-mail.example.org greets you\r\n", "250-SIZE 10240000\r\n",
                      "250-pipelining\r\n", "250-STARTTLS\r\n", "250 AUTH cram-md5 Login\r\n"});
  EXPECT_TRUE(e.pipelining);
  EXPECT_TRUE(e.starttls);
  EXPECT_TRUE(e.auth);
  EXPECT_EQ(e.auth_mechanisms, (std::vector<std::string>{"cram-md5", "Login"}));
  EXPECT_EQ(ChooseMechanism(e), AuthMechanism::kLogin);

  // The greeting line is no keyword, even when it reads like one; the
  // older "AUTH=" form counts.
  e = ParseEhloReply({"250-PIPELINING STARTTLS\r\n", "250-AUTH=PLAIN\r\n", "250 8BITMIME\n"});
  EXPECT_FALSE(e.pipelining);
  EXPECT_FALSE(e.starttls);
  EXPECT_EQ(e.auth_mechanisms, (std::vector<std::string>{"PLAIN"}));
  EXPECT_EQ(ChooseMechanism(e), AuthMechanism::kPlain);

  e = ParseEhloReply({"250 only a greeting\r\n"});
  EXPECT_FALSE(e.auth);
  EXPECT_EQ(ChooseMechanism(e), AuthMechanism::kNone);
  e = ParseEhloReply({"250-hi\r\n", "250 AUTH LOGIN PLAIN\r\n"});
  EXPECT_EQ(ChooseMechanism(e), AuthMechanism::kPlain);  // PLAIN first, whatever the order
}

TEST(SmtpExtensionsTest, CredentialsAreEncodedAsTheMechanismsWant) {
  // "\0ann@example.org\0pass wörd" in Base64.
  EXPECT_EQ(AuthPlainCommand("ann@example.org", "pass w\xC3\xB6rd"),
            "AUTH PLAIN AGFubkBleGFtcGxlLm9yZwBwYXNzIHfDtnJk\r\n");
  EXPECT_EQ(AuthLoginAnswer("ann"), "YW5u\r\n");
  EXPECT_EQ(AuthLoginAnswer(""), "\r\n");
  EXPECT_EQ(Base64("ab"), "YWI=");
  EXPECT_EQ(Base64("abcd"), "YWJjZA==");
}

}  // namespace
}  // namespace verdanpost
