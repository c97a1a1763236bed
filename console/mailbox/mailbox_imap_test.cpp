// The whole check against a real Dovecot, with a Postfix of the test's own
// bouncing mail through its own bounce daemon: what the list's mailbox
// holds is classified, stored, flagged and not counted again.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "console/dispatch/operations_test_support.h"
#include "console/mailbox/imap_mailbox.h"
#include "console/mailbox/mail_samples_test_support.h"
#include "console/mailbox/mailbox_session.h"
#include "mailer/smtp/mailer.h"
#include "testing/loopback_listener.h"
#include "testing/real_mail_servers.h"
#include "testing/test_certificates.h"

namespace verdanpost::mailbox {
namespace {

namespace fs = std::filesystem;
using testing_support::RealMailServers;

constexpr char kList[] = "list@example.org";

class MailboxImapTest : public testing_support::ListDatabaseTest {
 protected:
  static void SetUpTestSuite() {
    ListDatabaseTest::SetUpTestSuite();
    if (!RealMailServers::Unavailable().empty()) return;
    servers_ = new RealMailServers();
    RealMailServers::Options options;
    options.users = {"list", "ann", "bob", "owner"};
    options.transports = {"gone@bounce.test error:5.1.1 User unknown",
                          "full@bounce.test error:5.2.2 Mailbox full",
                          "slow@bounce.test retry:4.4.1 Connection timed out"};
    // The delayed message warns its sender after a second, not hours.
    options.postfix_settings = {"delay_warning_time=1s", "queue_run_delay=1s",
                                "minimal_backoff_time=1s", "maximal_backoff_time=2s"};
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
    ListDatabaseTest::SetUp();
  }

  // [Mailbox] for the list's mailbox at `host`, with these extra lines.
  std::string WriteSettings(const std::string& host, const std::string& more,
                            const std::string& ca_file = servers_->ca_file()) {
    std::string path = dir_.filePath("servers.ini").toStdString();
    std::ofstream(path, std::ios::trunc)
        << "[Mailbox]\nHost = " << host << "\nUser = list@example.org\nCAFile = " << ca_file << "\n"
        << more;
    ::chmod(path.c_str(), 0600);
    return path;
  }
  std::string StartTls(const std::string& password = "secret") {
    return WriteSettings("localhost:" + std::to_string(servers_->imap_port()),
                         "Security = starttls\nPassword = " + password + "\n");
  }

  static void Send(const std::string& from, const std::string& to, const std::string& subject,
                   const std::string& text) {
    Mailer mailer;
    mailer.set_server_name("localhost:" + std::to_string(servers_->smtp_port()));
    mailer.SendMessage(from, to, "", "", subject, text);
    ASSERT_EQ(mailer.error_code(), 0) << mailer.error_message();
  }
  // Hands a message from the list to `to` to Postfix's queue directly, past
  // its SMTP server, which would refuse these recipients at once.
  static void Post(const std::string& to) {
    std::string command = "/usr/sbin/sendmail -C '" +
                          (servers_->folder() / "postfix" / "etc").string() +
                          "' -f list@example.org " + to;
    FILE* pipe = ::popen(command.c_str(), "w");
    ASSERT_NE(pipe, nullptr);
    std::string message = testing_support::PlainMail(kList, to, "News", "Hello\r\n");
    std::fwrite(message.data(), 1, message.size(), pipe);
    ASSERT_EQ(::pclose(pipe), 0);
  }
  // Puts `message` into the list's Maildir, as a delivery agent does.
  static void Drop(const std::string& name, const std::string& message) {
    fs::path file = servers_->folder() / "mail" / "list" / "new" / (name + ".test.localhost");
    std::ofstream(file, std::ios::binary) << message;
    ASSERT_EQ(::chown(file.c_str(), 5000, 5000), 0);
  }

  CheckResult Check(const std::string& settings) {
    return RunCheck(settings, data_source_, kList, OpenImapMailbox, nullptr);
  }

  static RealMailServers* servers_;
  static std::string start_error_;
};

RealMailServers* MailboxImapTest::servers_ = nullptr;
std::string MailboxImapTest::start_error_;

TEST_F(MailboxImapTest, ReadsEveryKindOnceAndLeavesTheMailInPlace) {
  for (const char* who :
       {"Ann|ann@example.org", "Bob|bob@example.org", "Carl|carl@example.org",
        "Gone|gone@bounce.test", "Full|full@bounce.test", "Slow|slow@bounce.test"}) {
    std::string entry = who;
    Subscribe(entry.substr(0, entry.find('|')), entry.substr(entry.find('|') + 1));
  }
  // Postfix's bounce daemon reports on these three.
  Post("gone@bounce.test");
  Post("full@bounce.test");
  Post("slow@bounce.test");
  Send("ann@example.org", kList, "UNSUBSCRIBE", "Thanks for everything\r\n");
  Send("bob@example.org", kList, "Please", "  unsubscribe \r\nme from this list\r\n");
  Send("stranger@example.net", kList, "unsubscribe", "\r\n");  // not a subscriber
  Send("owner@example.org", kList, "Hello", "unsubscribe is what Ann asked for\r\n");
  Drop("complaint", testing_support::ComplaintReport("carl@example.org"));
  Drop("unreadable", testing_support::DeliveryReport("Final-Recipient: x400; /G=Ann/\r\n"
                                                     "Action: failed\r\n"
                                                     "Status: 5.0.0\r\n"));
  ASSERT_EQ(servers_->WaitForDelivery("list", 9).size(), 9u) << servers_->Log();

  const std::string settings = StartTls();
  CheckResult first = Check(settings);
  ASSERT_EQ(first.status, kCheckRead) << first.error;
  EXPECT_EQ(SummaryText(first.summary),
            "9 messages read: 2 hard bounces, 1 soft bounce, 1 complaint, 2 unsubscribe "
            "requests, 1 not understood.");
  EXPECT_EQ(Rows("SELECT \"Address\", \"Kind\", \"StatusCode\", \"Folder\" FROM \"ListMail\" "
                 "ORDER BY \"Address\""),
            (std::vector<std::string>{
                "ann@example.org|unsubscribe||INBOX", "bob@example.org|unsubscribe||INBOX",
                "carl@example.org|complaint|abuse|INBOX", "full@bounce.test|hard|5.2.2|INBOX",
                "gone@bounce.test|hard|5.1.1|INBOX", "slow@bounce.test|soft|4.4.1|INBOX"}));
  // One soft bounce is not yet enough to remove Slow.
  std::vector<std::string> removals;
  for (const Removal& r : first.removals) {
    removals.push_back(r.email + (r.farewell ? " farewell" : ""));
  }
  std::sort(removals.begin(), removals.end());
  EXPECT_EQ(removals,
            (std::vector<std::string>{"ann@example.org farewell", "bob@example.org farewell",
                                      "carl@example.org", "full@bounce.test", "gone@bounce.test"}));

  // Flagged on the server: the next check finds nothing new, and the
  // findings still wait for a removal. Nothing left the mailbox.
  CheckResult second = Check(settings);
  ASSERT_EQ(second.status, kCheckRead) << second.error;
  EXPECT_EQ(second.summary.messages, 0);
  EXPECT_EQ(second.removals.size(), 5u);
  EXPECT_EQ(servers_->Delivered("list").size(), 9u);
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM \"ListMail\"")[0], "6");

  // What the owner had not seen stays unseen: Dovecot keeps new mail in new/
  // until a client sees it, and moves it to cur/ with an "S" flag once seen.
  for (const auto& entry : fs::directory_iterator(servers_->folder() / "mail" / "list" / "cur")) {
    std::string name = entry.path().filename().string();
    std::string flags = name.substr(name.find(":2,") + 3);
    EXPECT_EQ(flags.find('S'), std::string::npos) << name;
  }

  RemovalResult removed = RemoveAll(data_source_, first.removals);
  EXPECT_EQ(removed.error, "");
  EXPECT_EQ(removed.removed, 5);
  EXPECT_EQ(Subscribers(), (std::vector<std::string>{"Slow|slow@bounce.test"}));
  EXPECT_EQ(
      Rows("SELECT \"DeleterName\", \"E-Mail\" FROM \"DeletedList\" ORDER BY \"E-Mail\""),
      (std::vector<std::string>{
          "Mailbox: unsubscribe request|ann@example.org",
          "Mailbox: unsubscribe request|bob@example.org", "Mailbox: complaint|carl@example.org",
          "Mailbox: hard bounce|full@bounce.test", "Mailbox: hard bounce|gone@bounce.test"}));
  EXPECT_TRUE(Check(settings).removals.empty());
}

TEST_F(MailboxImapTest, ReachesTheMailboxWithTlsFromTheFirstByte) {
  // No Security: any port but 143 means TLS at once.
  CheckResult result = Check(
      WriteSettings("localhost:" + std::to_string(servers_->imaps_port()), "Password = secret\n"));
  EXPECT_EQ(result.status, kCheckRead) << result.error;
}

TEST_F(MailboxImapTest, RefusalsEndWithAClearTextAndNothingStored) {
  Subscribe("Ann", "ann@example.org");
  {
    CheckResult result = Check(StartTls("wrong"));
    EXPECT_EQ(result.status, kMailboxUnreachable);
    EXPECT_NE(result.error.find("The mailbox localhost:" + std::to_string(servers_->imap_port()) +
                                " refused the login of its User"),
              std::string::npos)
        << result.error;
    EXPECT_EQ(result.error.find("wrong"), std::string::npos) << "the password is never shown";
  }
  {
    // A certificate authority that did not sign the server's certificate.
    testing_support::TestCertificates other;
    CheckResult result = Check(WriteSettings("localhost:" + std::to_string(servers_->imaps_port()),
                                             "Password = secret\n", other.ca_file()));
    EXPECT_EQ(result.status, kMailboxUnreachable);
    EXPECT_NE(result.error.find("could not be reached securely"), std::string::npos)
        << result.error;
  }
  {
    CheckResult result = Check(WriteSettings("localhost:" + std::to_string(servers_->imaps_port()),
                                             "Password = secret\nSecurity = none\n"));
    EXPECT_EQ(result.status, kSettingsInvalid);
  }
  {
    // A server that greets and then drops the connection.
    testing_support::LoopbackListener listener("dropping server");
    std::thread server([&listener] {
      int fd = listener.Accept();
      if (fd < 0) return;
      testing_support::SendAll(fd, "* OK ready\r\n");
      listener.WaitReadable(fd);
      ::close(fd);
    });
    CheckResult result = Check(WriteSettings("localhost:" + std::to_string(listener.port()),
                                             "Security = starttls\nPassword = secret\n"));
    listener.Stop();
    server.join();
    EXPECT_EQ(result.status, kMailboxUnreachable);
    EXPECT_NE(result.error.find("The connection to the mailbox localhost:"), std::string::npos)
        << result.error;
  }
  EXPECT_EQ(Subscribers(), (std::vector<std::string>{"Ann|ann@example.org"}));
}

// verdanpost-listdb check-mailbox, as a timer runs it: what it prints, and
// its exit status for each ending.
TEST_F(MailboxImapTest, CommandLinePrintsTheSummaryAndRemovesWithRemove) {
  const char* build = std::getenv("VERDANPOST_BUILD_DIR");
  ASSERT_NE(build, nullptr);
  Subscribe("Gone", "gone@bounce.test");
  Subscribe("Hal", "hal@example.org");
  Drop("cli-bounce", testing_support::DeliveryReport("Final-Recipient: rfc822; gone@bounce.test\r\n"
                                                     "Action: failed\r\nStatus: 5.1.1\r\n"));
  auto run = [build](const std::string& settings, const std::string& arguments, int* exit_status) {
    std::string command = "VERDANPOST_SERVERS='" + settings + "' '" + build +
                          "/bin/verdanpost-listdb' check-mailbox " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    char buffer[512];
    for (size_t got; (got = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0;) {
      output.append(buffer, got);
    }
    int status = ::pclose(pipe);
    *exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
  };
  int status = -1;
  EXPECT_EQ(run(dir_.filePath("none.ini").toStdString(), "", &status)
                .find("The mailbox settings are not usable: there is no "),
            std::string(build).size() + std::string("/bin/verdanpost-listdb: ").size());
  EXPECT_EQ(status, 2);
  run(StartTls("wrong"), "", &status);
  EXPECT_EQ(status, 1);
  // The rest of the suite's mail is in the mailbox too; only the new
  // report concerns these two subscribers.
  std::string output = run(StartTls(), "--remove", &status);
  EXPECT_EQ(status, 0) << output;
  EXPECT_NE(output.find(" read: "), std::string::npos) << output;
  EXPECT_NE(output.find(" removed, 0 farewells sent :-)!\n"), std::string::npos) << output;
  EXPECT_EQ(Subscribers(), (std::vector<std::string>{"Hal|hal@example.org"}));
  output = run(StartTls(), "", &status);
  EXPECT_EQ(
      output,
      "0 messages read: 0 hard bounces, 0 soft bounces, 0 complaints, 0 unsubscribe requests, "
      "0 not understood.\n");
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace verdanpost::mailbox
