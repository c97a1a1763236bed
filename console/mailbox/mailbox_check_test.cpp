// The check, the plan of removals and Check Mailbox on a scripted mailbox
// and the list database (SQLite): what is counted, stored, flagged, removed
// and shown.
#include "console/mailbox/mailbox_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <set>

#include "console/dispatch/operations_test_support.h"
#include "console/mailbox/check_mailbox_command.h"
#include "console/mailbox/mail_samples_test_support.h"
#include "console/mailbox/mailbox_session.h"

namespace verdanpost::mailbox {
namespace {

using testing_support::ComplaintReport;
using testing_support::DeliveryReport;
using testing_support::PlainMail;

constexpr char kList[] = "owner@list.test";

std::string Bounce(const std::string& address, const std::string& status) {
  return DeliveryReport("Final-Recipient: rfc822; " + address +
                        "\r\nAction: " + (status[0] == '5' ? "failed" : "delayed") +
                        "\r\nStatus: " + status + "\r\n");
}

// A mailbox in memory, with the server's side of the flags and a switch
// that drops the connection at a chosen message.
class ScriptedMailbox : public MailboxReader {
 public:
  void Add(const std::string& message, bool seen = false) {
    messages_[next_uid_] = message;
    if (!seen) unseen_.insert(next_uid_);
    next_uid_ += 2;  // UIDs need not follow each other
  }
  bool ListUnhandled(std::vector<uint32_t>* uids, std::vector<uint32_t>* unseen,
                     std::string*) override {
    uids->clear();
    unseen->clear();
    for (const auto& [uid, message] : messages_) {
      if (handled_.count(uid) != 0) continue;
      uids->push_back(uid);
      if (unseen_.count(uid) != 0) unseen->push_back(uid);
    }
    return true;
  }
  bool FetchEach(const std::vector<uint32_t>& uids, const EachMessage& each,
                 std::string* err) override {
    for (uint32_t uid : uids) {
      if (++fetches_ == drop_at_fetch_) {
        *err = "The connection to the mailbox scripted failed: dropped";
        dropped_ = true;
        return false;
      }
      unseen_.erase(uid);  // reading marks it seen
      if (!each(uid, messages_.at(uid))) break;
    }
    return true;
  }
  bool MarkHandled(const std::vector<uint32_t>& uids, const std::vector<uint32_t>& unseen,
                   std::string* err) override {
    if (dropped_) {
      *err = "The connection to the mailbox scripted failed: dropped";
      return false;
    }
    handled_.insert(uids.begin(), uids.end());
    unseen_.insert(unseen.begin(), unseen.end());
    return true;
  }

  size_t handled() const { return handled_.size(); }
  size_t unseen() const { return unseen_.size(); }
  void LoseFlags() { handled_.clear(); }
  // Drops the connection at the `n`th fetch from now (0: never).
  void DropAtFetch(int n) {
    drop_at_fetch_ = n;
    fetches_ = 0;
    dropped_ = false;
  }

 private:
  std::map<uint32_t, std::string> messages_;
  std::set<uint32_t> handled_, unseen_;
  uint32_t next_uid_ = 3;
  int fetches_ = 0;
  int drop_at_fetch_ = 0;
  bool dropped_ = false;
};

// Stops the check once message `at` has been read.
class CancelAt : public CheckProgress {
 public:
  explicit CancelAt(int at) : at_(at) {}
  void Reading(int number, int) override { read_ = number; }
  bool CancelRequested() override { return read_ >= at_; }

 private:
  int at_;
  int read_ = 0;
};

class MailboxCheckTest : public testing_support::FakeOperationsTest {
 protected:
  void SetUp() override {
    FakeOperationsTest::SetUp();
    if (HasFatalFailure()) return;
    settings_path_ = dir_.filePath("servers.ini").toStdString();
    std::ofstream(settings_path_) << "[Mailbox]\nHost = imap.list.test\nUser = owner\n"
                                     "Password = secret\n";
    ::chmod(settings_path_.c_str(), 0600);
  }

  // One check of `mailbox_`, as the window and verdanpost-listdb run it.
  CheckResult Check(CheckProgress* progress = nullptr) {
    return RunCheck(settings_path_, data_source_, kList, Opener(), progress);
  }
  MailboxOpener Opener() {
    return [this](const MailboxSettings&, const std::string& password, std::string*) {
      EXPECT_EQ(password, "secret");
      ++opened_;
      return std::unique_ptr<MailboxReader>(new Borrowed(mailbox_));
    };
  }
  void AddFinding(const std::string& address, FindingKind kind, const std::string& date) {
    mailinglist::ListConnection list;
    ASSERT_TRUE(list.Open(data_source_).ok());
    Finding f;
    f.address = address;
    f.kind = kind;
    f.date = date;
    f.folder = "INBOX";
    ASSERT_TRUE(AppendFindings(list.get(), {f}).ok());
    list.Close();
  }
  std::vector<std::string> Plan(std::time_t now, int limit = 3, int days = 30) {
    MailboxSettings settings;
    settings.soft_bounce_limit = limit;
    settings.soft_bounce_days = days;
    mailinglist::ListConnection list;
    EXPECT_TRUE(list.Open(data_source_).ok());
    std::vector<Removal> removals;
    database::Status status = PlanRemovals(list, settings, now, &removals);
    EXPECT_TRUE(status.ok()) << status.message();
    list.Close();
    std::vector<std::string> lines;
    for (const Removal& r : removals) {
      lines.push_back(r.email + " " + KindName(r.why) + (r.farewell ? " farewell" : ""));
    }
    return lines;
  }
  static std::time_t At(const char* text) {
    std::tm tm{};
    strptime(text, "%Y-%m-%d %H:%M:%S", &tm);
    tm.tm_isdst = -1;
    return std::mktime(&tm);
  }

  // The check owns its reader; this one lends the test's mailbox.
  class Borrowed : public MailboxReader {
   public:
    explicit Borrowed(ScriptedMailbox& mailbox) : mailbox_(mailbox) {}
    bool ListUnhandled(std::vector<uint32_t>* u, std::vector<uint32_t>* s,
                       std::string* e) override {
      return mailbox_.ListUnhandled(u, s, e);
    }
    bool FetchEach(const std::vector<uint32_t>& u, const EachMessage& each,
                   std::string* e) override {
      return mailbox_.FetchEach(u, each, e);
    }
    bool MarkHandled(const std::vector<uint32_t>& u, const std::vector<uint32_t>& s,
                     std::string* e) override {
      return mailbox_.MarkHandled(u, s, e);
    }

   private:
    ScriptedMailbox& mailbox_;
  };

  std::string settings_path_;
  ScriptedMailbox mailbox_;
  int opened_ = 0;
};

TEST_F(MailboxCheckTest, CountsEachMessageOnceEvenWhenItsFlagIsLost) {
  Subscribe("Ann", "Ann@Example.org");
  mailbox_.Add(Bounce("gone@x.test", "5.1.1"), true);
  mailbox_.Add(Bounce("slow@x.test", "4.4.1"));
  mailbox_.Add(ComplaintReport("carl@x.test"));
  mailbox_.Add(PlainMail("ann@example.org", kList, "unsubscribe", ""));
  mailbox_.Add(PlainMail("stranger@x.test", kList, "unsubscribe", ""));
  mailbox_.Add(PlainMail("fan@x.test", kList, "Thanks", "Great list\r\n"));
  mailbox_.Add(DeliveryReport("Final-Recipient: x400; /G=Ann/\r\nAction: failed\r\n"));

  CheckResult first = Check();
  ASSERT_EQ(first.status, kCheckRead) << first.error;
  EXPECT_EQ(SummaryText(first.summary),
            "7 messages read: 1 hard bounce, 1 soft bounce, 1 complaint, 1 unsubscribe request, "
            "1 not understood.");
  EXPECT_EQ(mailbox_.handled(), 7u);
  EXPECT_EQ(mailbox_.unseen(), 6u) << "what the owner had not seen stays unseen";

  EXPECT_EQ(SummaryText(Check().summary),
            "0 messages read: 0 hard bounces, 0 soft bounces, 0 complaints, 0 unsubscribe "
            "requests, 0 not understood.");
  // Flags that did not reach the server: the messages are read again, but
  // their findings are not counted or stored again.
  mailbox_.LoseFlags();
  EXPECT_EQ(SummaryText(Check().summary),
            "3 messages read: 0 hard bounces, 0 soft bounces, 0 complaints, 0 unsubscribe "
            "requests, 1 not understood.");
  EXPECT_EQ(mailbox_.handled(), 7u);
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM \"ListMail\""), (std::vector<std::string>{"4"}));
}

TEST_F(MailboxCheckTest, DroppedConnectionKeepsWhatWasReadAndStopsEarlyOnCancel) {
  for (const char* address : {"a@x.test", "b@x.test", "c@x.test", "d@x.test"}) {
    mailbox_.Add(Bounce(address, "5.1.1"));
  }
  {
    CancelAt cancel(2);
    CheckResult result = Check(&cancel);
    ASSERT_EQ(result.status, kCheckRead);
    EXPECT_TRUE(result.summary.cancelled);
    EXPECT_EQ(result.summary.hard, 2);
    EXPECT_EQ(mailbox_.handled(), 2u);
    // The message read when Cancel came stays unseen too.
    EXPECT_EQ(mailbox_.unseen(), 4u);
  }
  mailbox_.DropAtFetch(2);
  CheckResult result = Check();
  EXPECT_EQ(result.status, kMailboxUnreachable);
  EXPECT_EQ(result.error, "The connection to the mailbox scripted failed: dropped");
  EXPECT_TRUE(result.removals.empty());
  // The message read before the drop is stored; the next check counts it
  // no more, though its flag was lost with the connection.
  EXPECT_EQ(Rows("SELECT \"Address\" FROM \"ListMail\" ORDER BY \"ID\""),
            (std::vector<std::string>{"a@x.test", "b@x.test", "c@x.test"}));
  mailbox_.DropAtFetch(0);
  CheckResult next = RunCheck(settings_path_, data_source_, kList, Opener(), nullptr);
  EXPECT_EQ(next.summary.messages, 1);
  EXPECT_EQ(next.summary.hard, 1);
}

TEST_F(MailboxCheckTest, PlansRemovalsFromEveryPendingFinding) {
  for (const char* who : {"Ann|Ann@Example.org", "Bob|bob@x.test", "Cleo|cleo@x.test",
                          "Dan|dan@x.test", "Eve|eve@x.test", "Fay|fay@x.test"}) {
    std::string entry = who;
    Subscribe(entry.substr(0, entry.find('|')), entry.substr(entry.find('|') + 1));
  }
  AddFinding("bob@x.test", FindingKind::kSoft, "2026-11-01 10:00:00");  // older than 30 days
  AddFinding("bob@x.test", FindingKind::kSoft, "2026-11-20 10:00:00");
  AddFinding("bob@x.test", FindingKind::kSoft, "2026-12-01 10:00:00");
  AddFinding("ann@example.org", FindingKind::kUnsubscribe, "2026-12-01 10:00:00");
  AddFinding("cleo@x.test", FindingKind::kUnsubscribe, "2026-12-02 10:00:00");
  AddFinding("cleo@x.test", FindingKind::kHard, "2026-12-02 11:00:00");
  AddFinding("dan@x.test", FindingKind::kComplaint, "2026-12-03 10:00:00");
  AddFinding("nobody@x.test", FindingKind::kHard, "2026-12-03 10:00:00");
  for (const char* date : {"2026-12-04 10:00:00", "2026-12-05 10:00:00", "2026-12-06 10:00:00"}) {
    AddFinding("eve@x.test", FindingKind::kSoft, date);
  }
  AddFinding("fay@x.test", FindingKind::kUnsubscribe, "2026-12-06 10:00:00");
  AddFinding("fay@x.test", FindingKind::kSoft, "2026-12-06 11:00:00");

  const std::time_t now = At("2026-12-07 12:00:00");
  EXPECT_EQ(Plan(now), (std::vector<std::string>{"Ann@Example.org unsubscribe farewell",
                                                 "cleo@x.test hard", "dan@x.test complaint",
                                                 "eve@x.test soft", "fay@x.test unsubscribe"}));
  // Bob's three soft bounces fall within 40 days; with a limit of 4 Eve's
  // do not count.
  EXPECT_EQ(Plan(now, 3, 40).size(), 6u);
  EXPECT_EQ(Plan(now, 4, 30).size(), 4u);

  mailinglist::ListConnection list;
  ASSERT_TRUE(list.Open(data_source_).ok());
  std::string name;
  bool removed = false;
  ASSERT_TRUE(
      RemoveSubscriber(list, Removal{"dan@x.test", FindingKind::kComplaint, false}, &name, &removed)
          .ok());
  EXPECT_TRUE(removed);
  EXPECT_EQ(name, "Dan");
  // Gone already: no failure, nothing logged.
  ASSERT_TRUE(
      RemoveSubscriber(list, Removal{"dan@x.test", FindingKind::kComplaint, false}, &name, &removed)
          .ok());
  EXPECT_FALSE(removed);
  list.Close();
  EXPECT_EQ(Rows("SELECT \"DeleterName\", \"Name\", \"E-Mail\" FROM \"DeletedList\""),
            (std::vector<std::string>{"Mailbox: complaint|Dan|dan@x.test"}));
  EXPECT_EQ(Plan(now).size(), 4u);
  // Should Dan subscribe again, the old complaint no longer counts.
  Subscribe("Dan", "dan@x.test");
  EXPECT_EQ(Plan(now).size(), 4u);
}

TEST_F(MailboxCheckTest, CheckMailboxAsksOnceAndSaysFarewellOnlyToThoseWhoAsked) {
  Subscribe("Ann", "ann@example.org");
  Subscribe("Gus", "gus@x.test");
  Subscribe("Hal", "hal@x.test");
  mailbox_.Add(PlainMail("Ann <ann@example.org>", kList, "Unsubscribe", ""));
  mailbox_.Add(Bounce("gus@x.test", "5.1.1"));
  int work_runs = 0;
  CheckMailboxCommand command(
      view_, mailers_, data_source_,
      [&work_runs](const std::function<void(CheckProgress&)>& work) {
        ++work_runs;
        CancelAt never(1000);
        work(never);
      },
      Opener(), settings_path_);
  const QString summary =
      "2 messages read: 1 hard bounce, 0 soft bounces, 0 complaints, 1 unsubscribe request, 0 "
      "not understood.";
  const QString question =
      "Remove the 2 subscribers who bounced hard, complained or asked to leave?";

  // No keeps the findings: the next check asks again.
  command.CheckMailbox_Click();
  EXPECT_EQ(log_, QStringList{"ask " + summary + '\n' + question});
  EXPECT_EQ(Subscribers().size(), 3u);

  log_.clear();
  view_.answers = {true};
  command.CheckMailbox_Click();
  EXPECT_EQ(work_runs, 2);
  ASSERT_EQ(log_.size(), 7) << log_.join('\n').toStdString();
  EXPECT_EQ(log_[0],
            "ask 0 messages read: 0 hard bounces, 0 soft bounces, 0 complaints, 0 unsubscribe "
            "requests, 0 not understood.\n" +
                question);
  EXPECT_EQ(log_[1], "tab 3");
  EXPECT_EQ(log_.mid(2, 3), (QStringList{"Create", "ServerName|mail.test", "IgnoreTo|0"}));
  EXPECT_TRUE(
      log_[5].startsWith("SendMessage|\"List Desk\" <desk@list.test>|\"Ann\" "
                         "<ann@example.org>||"))
      << log_[5].toStdString();
  EXPECT_EQ(log_[6], "show 2 subscribers removed, 1 farewell sent :-)!");
  EXPECT_EQ(Subscribers(), (std::vector<std::string>{"Hal|hal@x.test"}));

  // Nothing to remove: the summary alone.
  log_.clear();
  command.CheckMailbox_Click();
  EXPECT_EQ(log_, QStringList{"show 0 messages read: 0 hard bounces, 0 soft bounces, 0 "
                              "complaints, 0 unsubscribe requests, 0 not understood."});
}

TEST_F(MailboxCheckTest, CheckMailboxShowsWhyItCouldNotRead) {
  auto click = [this](MailboxOpener opener) {
    log_.clear();
    CheckMailboxCommand command(
        view_, mailers_, data_source_,
        [](const std::function<void(CheckProgress&)>& work) {
          CancelAt never(1000);
          work(never);
        },
        std::move(opener), settings_path_);
    command.CheckMailbox_Click();
    return log_;
  };
  auto refusing = [](const MailboxSettings&, const std::string&, std::string* err) {
    *err = "The mailbox imap.list.test:993 refused the login of its User (Login denied)";
    return std::unique_ptr<MailboxReader>();
  };
  EXPECT_EQ(click(refusing), QStringList{"show The mailbox imap.list.test:993 refused the login "
                                         "of its User (Login denied)"});
  std::ofstream(settings_path_, std::ios::trunc) << "[Mailbox]\nHost = imap.list.test\n";
  EXPECT_EQ(
      click(Opener()),
      QStringList{"show The mailbox settings are not usable: there is no User in [Mailbox] "
                  "of " +
                  QString::fromStdString(settings_path_) + "; write the mailbox's login name"});
  EXPECT_EQ(opened_, 0);
}

}  // namespace
}  // namespace verdanpost::mailbox
