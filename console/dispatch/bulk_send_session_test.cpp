// A bulk send's batches run, reported and followed up, with a scripted view
// (Cancel and the answers to the question) and mailer.

#include "console/dispatch/bulk_send_session.h"

#include <gmock/gmock.h>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "console/dispatch/kept_send.h"
#include "console/dispatch/operations_test_support.h"
#include "console/dispatch/operator_texts.h"
#include "console/dispatch/scripted_progress_test_support.h"
#include "console/window/test_application_test_support.h"

namespace verdanpost::testing_support {
namespace {

using ::testing::ElementsAre;

class SendInBatchesTest : public ::testing::Test {
 protected:
  SendInBatchesTest() {
    inputs_.message.UseFile = false;
    inputs_.message.UseText = true;
    inputs_.message.Subject = "News";
    inputs_.setup.SMTPServer = "mail.test";
    for (char c = 'a'; c <= 't'; ++c) twenty_ << QString(c) + "@x.test";
  }

  // Sends with the question before the send answered Yes; the question is
  // kept in question_, out of view_.messages.
  void Send(const QStringList& recipients, int64_t batch_size, const QString& note = "",
            const QString& folder = "") {
    view_.answers.push_front(true);
    const size_t before = view_.messages.size();
    SendUnanswered(recipients, batch_size, note, folder);
    ASSERT_GT(view_.messages.size(), before);
    question_ = view_.messages[before];
    ASSERT_TRUE(IsBulkSendQuestion(question_)) << question_.toStdString();
    view_.messages.erase(view_.messages.begin() + static_cast<long>(before));
  }

  void SendUnanswered(const QStringList& recipients, int64_t batch_size, const QString& note = "",
                      const QString& folder = "") {
    SendInBatches(
        view_, mailers_,
        [&](BulkSendJob* job, QString*) {
          *job = {inputs_,      {recipients.begin(), recipients.end()}, batch_size, note, {},
                  list_headers_};
          return true;
        },
        folder.isEmpty() ? dir_.path() : folder);
  }

  // Each record's number of rows after the header, oldest first.
  std::vector<int> RecordRows() const {
    std::vector<int> rows;
    for (const QString& name : QDir(dir_.path()).entryList({"*.csv"}, QDir::Files, QDir::Name)) {
      QFile file(dir_.filePath(name));
      EXPECT_TRUE(file.open(QIODevice::ReadOnly));
      rows.push_back(static_cast<int>(file.readAll().count("\r\n")) - 1);
    }
    return rows;
  }

  QString RecordPath(int index) const {
    return dir_.filePath(QDir(dir_.path()).entryList({"*.csv"}, QDir::Files, QDir::Name)[index]);
  }

  SendInputs inputs_;
  QStringList log_;
  FakeOperationsView view_{&log_};
  ScriptedMailerFactory mailers_{&log_};
  QTemporaryDir dir_;
  QStringList twenty_;
  QStringList list_headers_;
  NoRetries no_retries_;
  QString question_;
};

TEST_F(SendInBatchesTest, AsksBeforeAnythingGoesOut) {
  {
    // No: nothing is sent, made or recorded.
    QStringList list;
    for (int i = 0; i < 1234; ++i) list << QString("s%1@x.test").arg(i);
    SendUnanswered(list, 100);
    EXPECT_THAT(view_.messages, ElementsAre("Send \"News\" to 1,234 subscribers in 13 messages?"));
    EXPECT_TRUE(log_.filter("Create").isEmpty());
    EXPECT_TRUE(view_.progress.isEmpty());
    EXPECT_TRUE(RecordRows().empty());
  }
  {
    // Counted as the batches are cut: a whole list in one message.
    Send(twenty_.mid(0, 1), 5);
    EXPECT_EQ(question_, "Send \"News\" to 1 subscriber in 1 message?");
    Send(twenty_, 32767);
    EXPECT_EQ(question_, "Send \"News\" to 20 subscribers in 1 message?");
    EXPECT_EQ(SentBccs(log_).size(), 2);
  }
  {
    // A file sent with its own headers is asked about by its own subject;
    // one that has none, by the Subject box.
    const QString path = dir_.filePath("news.eml");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "From: a@x.test\r\nsubject: Spring\r\n issue\r\nTo: b@x.test\r\n\r\nSubject: no\r\n");
    file.close();
    inputs_.message.UseFile = true;
    inputs_.message.FileName = path;
    inputs_.message.SendRaw = kChecked;
    SendUnanswered(twenty_, 7);
    EXPECT_EQ(view_.messages.back(), "Send \"Spring issue\" to 20 subscribers in 3 messages?");
    inputs_.message.FileName = dir_.filePath("missing.eml");
    SendUnanswered(twenty_, 7);
    EXPECT_EQ(view_.messages.back(), "Send \"News\" to 20 subscribers in 3 messages?");
    // Sent as the body of a message, the file goes out under the Subject box.
    inputs_.message.FileName = path;
    inputs_.message.SendRaw = kUnchecked;
    SendUnanswered(twenty_, 7);
    EXPECT_EQ(view_.messages.back(), "Send \"News\" to 20 subscribers in 3 messages?");
  }
}

TEST_F(SendInBatchesTest, CancelledSendAsksAndResendsToExactlyTheUnreached) {
  view_.cancel_at = {3};
  view_.answers = {true};
  mailers_.outcomes = {{}, {451, "Server returned RCPT TO error"}, {}};
  Send(twenty_, 2, "2 subscribers were skipped: their addresses are empty.");

  ASSERT_EQ(view_.messages.size(), 2u);
  EXPECT_EQ(view_.messages[0],
            "Sending cancelled after 3 of 10 messages.\n"
            "1 of 3 messages could not be sent. Last error: Server returned RCPT TO error (451)\n"
            "2 subscribers were skipped: their addresses are empty.\n"
            "Each subscriber's outcome is recorded in \"" +
                RecordPath(0) +
                "\".\n\n"
                "16 subscribers were not reached. Send the message to them now?");
  EXPECT_EQ(view_.messages[1], kMessageSent);
  EXPECT_EQ(log_.filter("ask ").size(), 2);  // before the send, and after it
  // The refused batch and the cancelled rest, in the same batches, each once.
  EXPECT_THAT(SentBccs(log_),
              ElementsAre("a@x.test, b@x.test", "c@x.test, d@x.test", "e@x.test, f@x.test",
                          "c@x.test, d@x.test", "g@x.test, h@x.test", "i@x.test, j@x.test",
                          "k@x.test, l@x.test", "m@x.test, n@x.test", "o@x.test, p@x.test",
                          "q@x.test, r@x.test", "s@x.test, t@x.test"));
  // One row per subscriber of each message tried.
  EXPECT_THAT(RecordRows(), ElementsAre(6, 16));
  EXPECT_EQ(view_.progress.first(), "1/10 reached 0");
  EXPECT_EQ(view_.progress[2], "3/10 reached 2");
  EXPECT_EQ(view_.progress.last(), "8/8 reached 14");
}

TEST_F(SendInBatchesTest, NoLeavesTheUnreachedAndARepeatedFailureAsksAgain) {
  {
    mailers_.outcomes = {{6, "Could not connect to server"}};
    Send(twenty_.mid(0, 3), 2);
    ASSERT_EQ(view_.messages.size(), 1u);
    EXPECT_EQ(view_.messages[0],
              "1 of 2 messages could not be sent. Last error: Could not connect to server (6)\n"
              "Each subscriber's outcome is recorded in \"" +
                  RecordPath(0) +
                  "\".\n\n"
                  "2 subscribers were not reached. Send the message to them now?");
    EXPECT_EQ(SentBccs(log_).size(), 2);
  }
  {
    // Yes, and the resend fails again: asked again, about the same two.
    view_.messages.clear();
    log_.clear();
    view_.answers = {true, false};
    mailers_.outcomes = {
        {6, "Could not connect to server"}, {}, {6, "Could not connect to server"}};
    Send(twenty_.mid(0, 3), 2);
    ASSERT_EQ(view_.messages.size(), 2u);
    EXPECT_THAT(
        view_.messages[1].toStdString(),
        ::testing::EndsWith("2 subscribers were not reached. Send the message to them now?"));
    EXPECT_THAT(SentBccs(log_),
                ElementsAre("a@x.test, b@x.test", "c@x.test", "a@x.test, b@x.test"));
  }
}

TEST_F(SendInBatchesTest, RefusedForGoodAreNamedAndNeverOfferedAgain) {
  {
    // The first message reaches a only; b is gone for good, c only for now.
    mailers_.outcomes = {{0,
                          "Message sent",
                          "250 Ok",
                          {},
                          {},
                          "b@x.test\t550\t550 5.1.1 User unknown\n"
                          "c@x.test\t450\t450 4.2.1 Mailbox busy\n"}};
    view_.answers = {true};
    Send(twenty_.mid(0, 4), 3);
    ASSERT_EQ(view_.messages.size(), 2u);
    EXPECT_EQ(view_.messages[0],
              "1 subscriber was refused: b@x.test (550 5.1.1 User unknown)\n"
              "Each subscriber's outcome is recorded in \"" +
                  RecordPath(0) +
                  "\".\n\n"
                  "1 subscriber was not reached. Send the message to them now?");
    EXPECT_EQ(view_.messages[1], kMessageSent);
    EXPECT_THAT(SentBccs(log_),
                ElementsAre("a@x.test, b@x.test, c@x.test", "d@x.test", "c@x.test"));
  }
  {
    // Nobody left to offer it to: the box only reports.
    view_.messages.clear();
    mailers_.outcomes = {{550, "Server returned RCPT TO error", "550 5.7.1 Relaying denied"}};
    Send(twenty_.mid(0, 2), 2);
    EXPECT_THAT(
        view_.messages,
        ElementsAre("1 of 1 messages could not be sent. Last error: Server returned RCPT TO "
                    "error (550): 550 5.7.1 Relaying denied\n2 subscribers were refused: a@x.test "
                    "(550 5.7.1 Relaying "
                    "denied), b@x.test (550 5.7.1 Relaying denied)\nEach subscriber's "
                    "outcome is recorded in \"" +
                    RecordPath(2) + "\"."));
  }
}

TEST_F(SendInBatchesTest, SendsThatNeedNoFollowUpOnlyReport) {
  {
    Send(twenty_, 100, "1 subscriber was skipped.");
    EXPECT_THAT(view_.messages, ElementsAre(QString(kMessageSent) + "\n1 subscriber was skipped."));
  }
  {
    // Nothing went out at all: nobody to follow up, no record to look at.
    view_.messages.clear();
    mailers_.create_error = "not registered";
    Send(twenty_, 100);
    EXPECT_THAT(view_.messages, ElementsAre("The mailer could not be created: not registered"));
  }
  {
    // A send the plan refuses leaves no record.
    view_.messages.clear();
    QTemporaryDir empty;
    SendInBatches(
        view_, mailers_,
        [](BulkSendJob*, QString* err) {
          *err = kListEmpty;
          return false;
        },
        empty.path());
    EXPECT_THAT(view_.messages, ElementsAre(kListEmpty));
    EXPECT_TRUE(QDir(empty.path()).isEmpty());
  }
  {
    mailers_.create_error.clear();
    view_.messages.clear();
    QFile blocker(dir_.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    Send(twenty_, 100, "", blocker.fileName());
    EXPECT_THAT(view_.messages,
                ElementsAre("The send record could not be created: Cannot create the folder \"" +
                            blocker.fileName() + "\""));
  }
}

// Sends kept because they did not reach everyone, offered at the next press
// of Send Message; and sends paced to the limits servers.ini gives.
class KeptSendsTest : public SendInBatchesTest {
 protected:
  void SetUp() override {
    saved_servers_ = qgetenv("VERDANPOST_SERVERS");
    qputenv("VERDANPOST_SERVERS", dir_.filePath("servers.ini").toUtf8());
    // A kept send is checked as at its first send before it goes on.
    inputs_.setup.FromEmail = "desk@x.test";
  }
  void TearDown() override { qputenv("VERDANPOST_SERVERS", saved_servers_); }

  void WriteServers(const QByteArray& text) {
    QFile file(dir_.filePath("servers.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  }

  // A press of Send Message with `list` on the list: the kept send is
  // answered from view_.kept_answers; a plan means a new send, not wanted.
  void Press(const QStringList& list) {
    SendInBatches(
        view_, mailers_,
        [&](BulkSendJob*, QString* err) {
          ++plans_;
          *err = "planned";
          return false;
        },
        dir_.path(),
        [&](std::vector<QString>* addresses, QString*, const std::function<bool()>&) {
          addresses->assign(list.begin(), list.end());
          return true;
        });
  }

  std::vector<std::unique_ptr<KeptSend>> Kept() { return KeptSend::FindAll(dir_.path()); }

  QString Offer(int64_t reached, int64_t total, int64_t rest) {
    auto kept = Kept();
    return kept.empty() ? QString("nothing kept")
                        : ResumeKeptSend("News", kept[0]->started(), reached, total, rest);
  }

  int plans_ = 0;
  QByteArray saved_servers_;
};

TEST_F(KeptSendsTest, ACancelledSendGoesOnToExactlyTheRestStillOnTheList) {
  view_.cancel_at = {3};
  view_.answers = {false};  // not now
  Send(twenty_, 2);
  ASSERT_EQ(Kept().size(), 1u);
  log_.clear();
  view_.messages.clear();

  // h@x.test left the list since.
  QStringList list = twenty_;
  list.removeAll("h@x.test");
  const QString offer = Offer(6, 20, 13);
  EXPECT_THAT(offer.toStdString(),
              ::testing::MatchesRegex("A send of \"News\" started on 20[0-9-]+ [0-9:]+ reached 6 "
                                      "of 20 subscribers. Send to the 13 not reached now\\?"));
  view_.kept_answers = {KeptSendChoice::kSendNow};
  Press(list);
  EXPECT_THAT(view_.kept_questions, ElementsAre(offer));
  EXPECT_EQ(plans_, 0);
  EXPECT_THAT(SentBccs(log_), ElementsAre("g@x.test, i@x.test", "j@x.test, k@x.test",
                                          "l@x.test, m@x.test", "n@x.test, o@x.test",
                                          "p@x.test, q@x.test", "r@x.test, s@x.test", "t@x.test"));
  EXPECT_THAT(view_.messages, ElementsAre(kMessageSent));
  EXPECT_TRUE(Kept().empty());  // everyone accounted for
  // Nothing is offered again.
  view_.kept_questions.clear();
  Press(list);
  EXPECT_TRUE(view_.kept_questions.empty());
  EXPECT_EQ(plans_, 1);

  // A kept send is checked again before it goes on: a sender made invalid
  // since is refused, and the send stays kept.
  view_.cancel_at = {1};
  view_.answers = {false};
  Send(twenty_.mid(0, 4), 2);
  ASSERT_EQ(Kept().size(), 1u);
  QSettings description(
      QDir(dir_.path()).entryInfoList({"*.send"}, QDir::Dirs)[0].filePath() + "/send.ini",
      QSettings::IniFormat);
  description.setValue("Setup/FromEmail", "not an address");
  description.sync();
  log_.clear();
  view_.kept_answers = {KeptSendChoice::kSendNow};
  Press(twenty_);
  EXPECT_EQ(view_.messages.back(), kFromNotValid);
  EXPECT_TRUE(SentBccs(log_).isEmpty());
  EXPECT_EQ(Kept().size(), 1u);
}

TEST_F(KeptSendsTest, NoKeepsItForLaterAndDiscardForgetsIt) {
  mailers_.outcomes = {{451, "Server returned RCPT TO error"}};
  view_.answers = {false};
  Send(twenty_.mid(0, 4), 2);
  ASSERT_EQ(Kept().size(), 1u);
  const QString offer = Offer(2, 4, 2);

  // No: the new send is planned as ever, and the kept one stays.
  view_.kept_answers = {KeptSendChoice::kLater};
  Press(twenty_);
  EXPECT_THAT(view_.kept_questions, ElementsAre(offer));
  EXPECT_EQ(plans_, 1);
  EXPECT_EQ(view_.messages.back(), "planned");
  ASSERT_EQ(Kept().size(), 1u);

  // Discard: gone, its record stays.
  view_.kept_answers = {KeptSendChoice::kDiscard};
  Press(twenty_);
  EXPECT_EQ(plans_, 2);
  EXPECT_TRUE(Kept().empty());
  EXPECT_THAT(RecordRows(), ElementsAre(4));

  // Nor does a send that stopped before anything went.
  mailers_.create_error = "not registered";
  Send(twenty_.mid(0, 4), 2);
  EXPECT_EQ(view_.messages.back(), "The mailer could not be created: not registered");
  EXPECT_TRUE(Kept().empty());
  mailers_.create_error.clear();

  // Refused for good, and those left the list, leave nothing to offer.
  mailers_.outcomes = {{}, {554, "Server returned RCPT TO error", "554 no"}};
  view_.answers = {false};
  Send(twenty_.mid(0, 4), 2);
  EXPECT_TRUE(Kept().empty());
  view_.cancel_at = {1};
  Send(twenty_.mid(0, 4), 2);
  ASSERT_EQ(Kept().size(), 1u);
  view_.kept_questions.clear();
  Press(twenty_.mid(4));
  EXPECT_TRUE(view_.kept_questions.empty());
  EXPECT_TRUE(Kept().empty());
}

TEST_F(KeptSendsTest, AFullDayStopsTheSendAndTheNextDayGoesOn) {
  WriteServers("[mail.test]\nRecipientsPerDay = 5\n");
  Send(twenty_.mid(0, 8), 2);
  // 2, 2, then the 1 the day still allows; no question: Yes could not help.
  EXPECT_THAT(SentBccs(log_), ElementsAre("a@x.test, b@x.test", "c@x.test, d@x.test", "e@x.test"));
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_THAT(view_.messages[0].toStdString(),
              ::testing::StartsWith("Sending stopped for today: the server allows 5 recipients a "
                                    "day. The rest can go out from 2026-12-09 14:00; Send Message "
                                    "then offers to send it.\nEach subscriber's outcome is "
                                    "recorded in "));
  ASSERT_EQ(Kept().size(), 1u);

  // The same day: offered, but nothing more goes.
  log_.clear();
  view_.kept_answers = {KeptSendChoice::kSendNow};
  Press(twenty_);
  EXPECT_TRUE(SentBccs(log_).isEmpty());
  EXPECT_THAT(view_.messages.back().toStdString(),
              ::testing::StartsWith("Sending stopped for today"));

  // The next day: the rest, 3 of the 5 the day allows.
  no_retries_.waiter.set_now(QDateTime(QDate(2026, 12, 9), QTime(14, 1)));
  view_.kept_answers = {KeptSendChoice::kSendNow};
  Press(twenty_);
  EXPECT_THAT(SentBccs(log_), ElementsAre("f@x.test, g@x.test", "h@x.test"));
  EXPECT_EQ(view_.messages.back(), kMessageSent);
  EXPECT_TRUE(Kept().empty());
}

TEST_F(KeptSendsTest, PacedToTheServersMinuteAndItsSmallerBatches) {
  WriteServers(
      "[other.test]\nMessagesPerMinute = 1\n"
      "[MAIL.test]\nMessagesPerMinute = 2\nRecipientsPerMessage = 3\n");
  // The server takes 2 of the first 3; the rest go in twos.
  mailers_.outcomes = {{0, "", "250 ok", "", "", "", "2"}};
  Send(twenty_.mid(0, 9), 5);
  EXPECT_EQ(question_, "Send \"News\" to 9 subscribers in 3 messages?");
  EXPECT_THAT(SentBccs(log_), ElementsAre("a@x.test, b@x.test, c@x.test", "d@x.test, e@x.test",
                                          "f@x.test, g@x.test", "h@x.test, i@x.test"));
  // Two a minute: the third waits for the first to be a minute old (the
  // scripted clock stands still while a message goes).
  EXPECT_THAT(view_.progress.filter("wait: "),
              ElementsAre("wait: Waiting until 14:01:01: the server allows 2 messages a minute."));
  EXPECT_EQ(view_.progress.last(), "4/4 reached 7");
}

}  // namespace
}  // namespace verdanpost::testing_support
