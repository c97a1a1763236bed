// The mailer against a real Postfix (with Dovecot's sign-in) started by the
// test on loopback: what a list owner's own mail server does with it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "mailer/smtp/mailer.h"
#include "testing/real_mail_servers.h"

namespace verdanpost {
namespace {

using testing_support::RealMailServers;

// The servers are started once for the suite; each test sends to its own
// recipients, so what one test delivers does not count in another.
class MailerPostfixTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!RealMailServers::Unavailable().empty()) return;
    servers_ = new RealMailServers();
    RealMailServers::Options options;
    options.users = {"owner", "ann", "bob", "carl", "dora", "erik", "fay", "gus", "hal"};
    options.recipient_access = {"/^full@/ 452 4.2.2 Mailbox full"};
    options.postfix_settings = {"message_size_limit=200000"};
    if (!servers_->Start(options, &start_error_)) {
      delete servers_;
      servers_ = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete servers_;
    servers_ = nullptr;
  }

  void SetUp() override {
    std::string why = RealMailServers::Unavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    ASSERT_NE(servers_, nullptr) << start_error_;
    if (const char* old = std::getenv("VERDANPOST_SERVERS")) saved_ = old;
    settings_ = servers_->folder() / ("servers-" + std::to_string(::getpid()) + ".ini");
    ::setenv("VERDANPOST_SERVERS", settings_.c_str(), 1);
    mailer_.set_server_name("localhost:" + std::to_string(servers_->smtp_port()));
  }
  void TearDown() override { ::setenv("VERDANPOST_SERVERS", saved_.c_str(), 1); }

  // Sends through the submission port: STARTTLS, then AUTH as owner.
  void UseSubmission() {
    std::string name = "localhost:" + std::to_string(servers_->submission_port());
    std::ofstream(settings_, std::ios::trunc)
        << "[" << name << "]\nSecurity = starttls\nCAFile = " << servers_->ca_file()
        << "\nUser = owner@example.org\nPassword = secret\n";
    ::chmod(settings_.c_str(), 0600);
    mailer_.set_server_name(name);
  }

  void ExpectOutcome(int32_t code, const std::string& message) {
    EXPECT_EQ(mailer_.error_code(), code) << mailer_.error_message() << "\n" << servers_->Log();
    EXPECT_EQ(mailer_.error_message(), message);
  }

  static RealMailServers* servers_;
  static std::string start_error_;
  Mailer mailer_;
  std::filesystem::path settings_;
  std::string saved_;
};

RealMailServers* MailerPostfixTest::servers_ = nullptr;
std::string MailerPostfixTest::start_error_;

bool Holds(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(MailerPostfixTest, PlainSendReachesEveryRecipientAndHidesBcc) {
  mailer_.SendMessage("owner@example.org", "ann@example.org", "bob@example.org", "carl@example.org",
                      "Autumn letter", "Leaves are falling.\r\n");
  ExpectOutcome(0, "Message sent");
  for (const char* user : {"ann", "bob", "carl"}) {
    std::vector<std::string> got = servers_->WaitForDelivery(user, 1);
    ASSERT_EQ(got.size(), 1u) << user << "\n" << servers_->Log();
    EXPECT_TRUE(Holds(got[0], "Subject: Autumn letter\n")) << got[0];
    EXPECT_TRUE(Holds(got[0], "\n\nLeaves are falling.\n")) << got[0];
    EXPECT_FALSE(Holds(got[0], "carl@example.org>\nTo:")) << got[0];
    EXPECT_FALSE(Holds(got[0], "Bcc:")) << got[0];
  }
}

TEST_F(MailerPostfixTest, SubmissionWithStartTlsAndSignInDelivers) {
  UseSubmission();
  mailer_.SendMessage("owner@example.org", "dora@example.org", "", "", "Signed in",
                      "Sent over the submission port.\r\n");
  ExpectOutcome(0, "Message sent");
  std::vector<std::string> got = servers_->WaitForDelivery("dora", 1);
  ASSERT_EQ(got.size(), 1u) << servers_->Log();
  EXPECT_TRUE(Holds(got[0], "Sent over the submission port.")) << got[0];
  // Postfix notes TLS and the sign-in in the trace it adds.
  EXPECT_TRUE(Holds(got[0], " with ESMTPSA id ")) << got[0];
}

TEST_F(MailerPostfixTest, RefusedRecipientsGiveTheServersCode) {
  {
    mailer_.SendMessage("owner@example.org", "erik@example.org", "", "nobody@example.org",
                        "Unknown", "x\r\n");
    ExpectOutcome(550, "Server returned RCPT TO error");
  }
  {
    mailer_.SendMessage("owner@example.org", "full@example.org", "", "", "Full", "x\r\n");
    ExpectOutcome(452, "Server returned RCPT TO error");
  }
  // Neither message was delivered to anyone, erik included.
  EXPECT_TRUE(servers_->WaitForDelivery("erik", 1).empty());
}

TEST_F(MailerPostfixTest, OversizedMessageIsRefused) {
  std::string big(300000, 'x');
  for (size_t i = 76; i < big.size(); i += 78) big.replace(i, 2, "\r\n");
  mailer_.SendMessage("owner@example.org", "fay@example.org", "", "", "Big", big);
  EXPECT_EQ(mailer_.error_code(), 552) << mailer_.error_message();
  EXPECT_TRUE(servers_->WaitForDelivery("fay", 1).empty());
}

}  // namespace
}  // namespace verdanpost
