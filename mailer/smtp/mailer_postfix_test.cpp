// The mailer against a real Postfix (with Dovecot's sign-in) started by the
// test on loopback: what a list owner's own mail server does with it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
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
    // Three recipients a transaction, as providers cap them (at about 100).
    options.postfix_settings = {"message_size_limit=200000", "smtpd_recipient_limit=3"};
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
    std::filesystem::remove(settings_);  // no test's settings reach the next
    mailer_.set_server_name("localhost:" + std::to_string(servers_->smtp_port()));
    log_mark_ = servers_->Log().size();
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

  // Speaks EHLO on the plain port, so that the server's SIZE is seen.
  void UseEhlo() {
    std::string name = "localhost:" + std::to_string(servers_->smtp_port());
    std::ofstream(settings_, std::ios::trunc) << "[" << name << "]\nGreeting = EHLO\n";
    mailer_.set_server_name(name);
  }

  // Postfix's summary of each session of this test that has ended, once
  // `count` have ("ehlo=2 starttls=1 auth=1 mail=3 rcpt=3 data=2 quit=1
  // commands=12"): it writes the summary after the client has gone.
  std::vector<std::string> Sessions(size_t count) const {
    std::vector<std::string> sessions;
    for (int round = 0; round < 300; ++round) {
      sessions = SessionsSoFar();
      if (sessions.size() >= count) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return sessions;
  }
  std::vector<std::string> SessionsSoFar() const {
    std::vector<std::string> sessions;
    std::string log = servers_->Log().substr(log_mark_);
    for (size_t at = log.find("disconnect from "); at != std::string::npos;
         at = log.find("disconnect from ", at + 1)) {
      size_t start = log.find("] ", at);
      size_t end = log.find('\n', at);
      // Sessions without a command are the start script's readiness probes.
      if (start != std::string::npos && start < end &&
          log.compare(start + 2, 11, "commands=0/") != 0) {
        sessions.push_back(log.substr(start + 2, end - start - 2));
      }
    }
    return sessions;
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
  size_t log_mark_ = 0;  // where this test's part of the server's log starts
};

RealMailServers* MailerPostfixTest::servers_ = nullptr;
std::string MailerPostfixTest::start_error_;

bool Holds(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The one of `messages` with the subject `subject`; "" when none has it.
std::string Find(const std::vector<std::string>& messages, const std::string& subject) {
  for (const std::string& message : messages) {
    if (Holds(message, "\nSubject: " + subject + "\n")) return message;
  }
  return "";
}

bool HasSubject(const std::vector<std::string>& messages, const std::string& subject) {
  return !Find(messages, subject).empty();
}

TEST_F(MailerPostfixTest, PlainSendReachesEveryRecipientAndHidesBcc) {
  mailer_.SendMessage("owner@example.org", "ann@example.org", "bob@example.org", "carl@example.org",
                      "Autumn letter", "Leaves are falling.\r\n");
  ExpectOutcome(0, "Message sent");
  for (const char* user : {"ann", "bob", "carl"}) {
    std::string got = Find(servers_->WaitForDelivery(user, 100), "Autumn letter");
    ASSERT_FALSE(got.empty()) << user << "\n" << servers_->Log();
    EXPECT_TRUE(Holds(got, "\n\nLeaves are falling.\n")) << got;
    if (std::string(user) != "carl") {
      EXPECT_FALSE(Holds(got, "carl@")) << got;
    }
    EXPECT_FALSE(Holds(got, "Bcc:")) << got;
  }
}

TEST_F(MailerPostfixTest, SubmissionWithStartTlsAndSignInDelivers) {
  UseSubmission();
  mailer_.SendMessage("owner@example.org", "dora@example.org", "", "", "Signed in",
                      "Sent over the submission port.\r\n");
  ExpectOutcome(0, "Message sent");
  std::string got = Find(servers_->WaitForDelivery("dora", 100), "Signed in");
  ASSERT_FALSE(got.empty()) << servers_->Log();
  EXPECT_TRUE(Holds(got, "Sent over the submission port.")) << got;
  // Postfix notes TLS and the sign-in in the trace it adds.
  EXPECT_TRUE(Holds(got, " with ESMTPSA id ")) << got;
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
  EXPECT_FALSE(HasSubject(servers_->WaitForDelivery("erik", 100), "Unknown"));
}

TEST_F(MailerPostfixTest, OversizedMessageIsRefused) {
  std::string big(300000, 'x');
  for (size_t i = 76; i < big.size(); i += 78) big.replace(i, 2, "\r\n");
  mailer_.SendMessage("owner@example.org", "fay@example.org", "", "", "Big", big);
  EXPECT_EQ(mailer_.error_code(), 552) << mailer_.error_message();
  EXPECT_FALSE(HasSubject(servers_->WaitForDelivery("fay", 100), "Big"));
}

TEST_F(MailerPostfixTest, PartialDeliveryReachesTheAcceptedAndNamesTheRefused) {
  mailer_.set_partial_delivery(true);
  mailer_.SendMessage("owner@example.org", "gus@example.org", "",
                      "nobody@example.org, full@example.org", "Partly", "For those who exist.\r\n");
  ExpectOutcome(0, "Message sent");
  EXPECT_TRUE(Holds(mailer_.server_reply(), "250 2.0.0 Ok: queued as ")) << mailer_.server_reply();
  EXPECT_EQ(mailer_.refused_recipients(),
            "nobody@example.org\t550\t550 5.1.1 <nobody@example.org>: Recipient address "
            "rejected: User unknown in virtual mailbox table\n"
            "full@example.org\t452\t452 4.2.2 <full@example.org>: Recipient address rejected: "
            "Mailbox full\n");
  EXPECT_TRUE(HasSubject(servers_->WaitForDelivery("gus", 100), "Partly")) << servers_->Log();
}

TEST_F(MailerPostfixTest, ARecipientLimitSplitsTheMessageNotTheList) {
  const std::string eight =
      "ann@example.org, bob@example.org, carl@example.org, dora@example.org, erik@example.org, "
      "fay@example.org, gus@example.org, hal@example.org";
  {
    // As a single transaction the fourth recipient is one too many.
    mailer_.SendMessage("owner@example.org", "owner@example.org", "", eight, "Capped", "x\r\n");
    ExpectOutcome(452, "Server returned RCPT TO error");
    EXPECT_EQ(mailer_.server_reply(), "452 4.5.3 Error: too many recipients");
  }
  {
    mailer_.set_partial_delivery(true);
    mailer_.SendMessage("owner@example.org", "owner@example.org", "", eight, "Split",
                        "Nine recipients, three at a time.\r\n");
    ExpectOutcome(0, "Message sent");
    EXPECT_EQ(mailer_.refused_recipients(), "");
    EXPECT_EQ(mailer_.recipient_limit(), 3);
  }
  // The second went in one session: three transactions of three, the
  // fourth recipient asked for once more after its 452, the later
  // transactions asking for no more recipients than the server took.
  std::vector<std::string> sessions = Sessions(2);
  ASSERT_EQ(sessions.size(), 2u) << ::testing::PrintToString(sessions);
  EXPECT_TRUE(Holds(sessions[1], " mail=3 rcpt=10 data=3 ")) << sessions[1];
  for (const char* user : {"owner", "ann", "bob", "carl", "dora", "erik", "fay", "gus", "hal"}) {
    std::vector<std::string> got = servers_->WaitForDelivery(user, 100);
    EXPECT_TRUE(HasSubject(got, "Split")) << user << "\n" << servers_->Log();
    EXPECT_FALSE(HasSubject(got, "Capped")) << user;
  }
}

TEST_F(MailerPostfixTest, AKeptSessionSignsInOnceForSeveralMessages) {
  UseSubmission();
  mailer_.set_partial_delivery(true);
  mailer_.set_keep_connection(true);
  mailer_.SendMessage("owner@example.org", "ann@example.org", "", "", "First", "1\r\n");
  ExpectOutcome(0, "Message sent");
  mailer_.SendMessage("owner@example.org", "nobody@example.org", "", "", "Second", "2\r\n");
  EXPECT_EQ(mailer_.error_code(), 550) << mailer_.error_message();
  mailer_.SendMessage("owner@example.org", "bob@example.org", "", "", "Third", "3\r\n");
  ExpectOutcome(0, "Message sent");
  mailer_.Disconnect();

  EXPECT_TRUE(HasSubject(servers_->WaitForDelivery("ann", 100), "First"));
  EXPECT_TRUE(HasSubject(servers_->WaitForDelivery("bob", 100), "Third"));
  std::vector<std::string> sessions = Sessions(1);
  ASSERT_EQ(sessions.size(), 1u) << servers_->Log();
  EXPECT_TRUE(Holds(sessions[0], "starttls=1 auth=1 mail=3 ")) << sessions[0];
  // Pipelined, DATA went with the refused recipient too, and was refused.
  EXPECT_TRUE(Holds(sessions[0], " rcpt=2/3 data=2/3 ")) << sessions[0];
  EXPECT_TRUE(Holds(sessions[0], " quit=1 ")) << sessions[0];
}

TEST_F(MailerPostfixTest, TheServersSizeLimitRefusesBeforeUploading) {
  UseEhlo();
  mailer_.set_partial_delivery(true);
  std::string big(300000, 'x');
  for (size_t i = 76; i < big.size(); i += 78) big.replace(i, 2, "\r\n");
  mailer_.SendMessage("owner@example.org", "hal@example.org", "", "", "Big", big);
  EXPECT_EQ(mailer_.error_code(), 59) << mailer_.error_message();
  EXPECT_TRUE(Holds(mailer_.error_message(), "Message is larger than the server accepts ("))
      << mailer_.error_message();
  EXPECT_TRUE(Holds(mailer_.error_message(), " bytes, at most 200000)")) << mailer_.error_message();
  // Nothing was uploaded: the session ended without DATA.
  std::vector<std::string> sessions = Sessions(1);
  ASSERT_EQ(sessions.size(), 1u) << servers_->Log();
  EXPECT_FALSE(Holds(sessions[0], "data=")) << sessions[0];
}

}  // namespace
}  // namespace verdanpost
