// The Send Message button end to end: the list from the SQLite data source,
// the mailer created by ProgID, the messages at a scripted SMTP peer.

#include "console/dispatch/bulk_send.h"

#include <chrono>

#include <gmock/gmock.h>

#include <QDir>

#include "console/dispatch/operations_test_support.h"
#include "console/dispatch/scripted_progress_test_support.h"
#include "console/dispatch/send_record.h"
#include "console/dispatch/send_retry.h"

namespace verdanpost::testing_support {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

class BulkSendTest : public OperationsTest {
 protected:
  void SetUp() override {
    OperationsTest::SetUp();
    EditText("News", "Hello, list");
  }

  void Limit(const QString& recipients_per_message) {
    SetCheckState(*window_->setup_page().limit_recipients_per_message(), kChecked);
    window_->setup_page().recipients_per_message()->setText(recipients_per_message);
  }
};

TEST_F(BulkSendTest, SevenSubscribersInBatchesOfThree) {
  SubscribeLetters(7);
  Limit("3");
  Click("SendMessage");
  EXPECT_EQ(OnlyMessage(), kMessageSent);
  // The owner stands in To but gets no copy while copies are off.
  EXPECT_THAT(RecipientsPerMessage(),
              ElementsAre("a@x.test b@x.test c@x.test", "d@x.test e@x.test f@x.test", "g@x.test"));
  for (const std::string& message : peer_->received_messages()) {
    EXPECT_THAT(message, HasSubstr("From: \"List Desk\" <desk@list.test>\r\n"));
    EXPECT_THAT(message, HasSubstr("\r\nList-Id: \"Owen Owner\" <owner.list.test>\r\n"
                                   "List-Unsubscribe: <mailto:owner@list.test?subject=unsubscribe>"
                                   "\r\n"));
    EXPECT_THAT(message, HasSubstr("To: \"Owen Owner\" <owner@list.test>\r\n"));
    EXPECT_THAT(message, HasSubstr("Hello, list"));
  }
}

TEST_F(BulkSendTest, AsksFirstAndNoSendsNothing) {
  SubscribeLetters(7);
  Limit("3");
  {
    window_->messages_page().send_message()->click();  // the question answered No
    EXPECT_EQ(OnlyMessage(), "Send \"News\" to 7 subscribers in 3 messages?");
    EXPECT_TRUE(peer_->received_messages().empty());
    EXPECT_FALSE(QDir(SendRecordFolder()).exists() &&
                 !QDir(SendRecordFolder()).entryList({"*.csv"}).isEmpty());
  }
  {
    Click("SendMessage");
    EXPECT_EQ(send_question_, "Send \"News\" to 7 subscribers in 3 messages?");
    EXPECT_EQ(OnlyMessage(), kMessageSent);
    EXPECT_EQ(peer_->received_messages().size(), 3u);
  }
}

TEST_F(BulkSendTest, BatchSizes) {
  SubscribeLetters(6);
  {
    Limit("3");
    Click("SendMessage");
    EXPECT_EQ(OnlyMessage(), kMessageSent);
    EXPECT_THAT(RecipientsPerMessage(),
                ElementsAre("a@x.test b@x.test c@x.test", "d@x.test e@x.test f@x.test"));
  }
  {
    // Halves go to the even neighbour: 2.5 gives 2.
    peer_ = std::make_unique<ScriptedSmtpPeer>();
    window_->setup_page().smtp_server()->setText(QString::fromStdString(peer_->server_name()));
    Limit("2.5");
    Click("SendMessage");
    EXPECT_EQ(OnlyMessage(), kMessageSent);
    EXPECT_THAT(RecipientsPerMessage(),
                ElementsAre("a@x.test b@x.test", "c@x.test d@x.test", "e@x.test f@x.test"));
  }
  {
    peer_ = std::make_unique<ScriptedSmtpPeer>();
    window_->setup_page().smtp_server()->setText(QString::fromStdString(peer_->server_name()));
    Limit("10 per message");
    Click("SendMessage");
    EXPECT_EQ(OnlyMessage(), kMessageSent);
    EXPECT_THAT(RecipientsPerMessage(),
                ElementsAre("a@x.test b@x.test c@x.test d@x.test e@x.test f@x.test"));
  }
}

TEST_F(BulkSendTest, LimitOffSendsTheWholeListOnceWithTheOwnersCopy) {
  SubscribeLetters(7);
  // Not used while the limit is off, so not refused either.
  window_->setup_page().recipients_per_message()->setText("99999");
  SetCheckState(*window_->setup_page().copy_messages(), kChecked);
  Click("SendMessage");
  EXPECT_EQ(OnlyMessage(), kMessageSent);
  EXPECT_THAT(RecipientsPerMessage(),
              ElementsAre("owner@list.test a@x.test b@x.test c@x.test d@x.test e@x.test f@x.test "
                          "g@x.test"));
}

TEST_F(BulkSendTest, RowsWithoutAnAddressAreSkipped) {
  Subscribe("a", "a@x.test");
  Sql("INSERT INTO MailingList (Name, \"E-Mail\") VALUES ('null', NULL), ('empty', ''), "
      "('blank', ' ')");
  Subscribe("b", "b@x.test");
  Limit("2");
  Click("SendMessage");
  EXPECT_EQ(OnlyMessage(), QString(kMessageSent) +
                               "\n3 subscribers were skipped: their addresses are empty or "
                               "contain line breaks or other control characters.");
  EXPECT_THAT(RecipientsPerMessage(), ElementsAre("a@x.test b@x.test"));
}

TEST_F(BulkSendTest, AHostileStoredAddressNeverReachesAMessage) {
  Subscribe("a", "a@x.test");
  Sql("INSERT INTO MailingList (Name, \"E-Mail\") VALUES ('hostile', 'x@example.org' || "
      "char(13, 10) || 'X-Injected: yes')");
  Subscribe("b", "b@x.test");
  const QByteArray letter =
      "From: desk@list.test\r\nTo: owner@list.test\r\nSubject: Raw news\r\n\r\nBody\r\n";
  const QString path = WriteFile("news.eml", letter);
  EditFile(path, true);
  Limit("3");
  Click("SendMessage");
  EXPECT_EQ(OnlyMessage(), QString(kMessageSent) +
                               "\n1 subscriber was skipped: the address is empty or contains a "
                               "line break or another control character.");
  // Both neighbours of the hostile row are delivered, in one message that
  // carries no header of the row's making.
  EXPECT_THAT(RecipientsPerMessage(), ElementsAre("a@x.test b@x.test"));
  // The hand-off file is gone; the message is the file behind the Bcc line,
  // which the mailer leaves out.
  EXPECT_FALSE(QFile::exists(path + ".tempfile"));
  ASSERT_EQ(peer_->received_messages().size(), 1u);
  EXPECT_EQ(peer_->received_messages()[0],
            ("List-Id: \"Owen Owner\" <owner.list.test>\r\n"
             "List-Unsubscribe: <mailto:owner@list.test?subject=unsubscribe>\r\n" +
             letter + "\r\n")
                .toStdString());
  EXPECT_THAT(peer_->received_messages()[0], Not(HasSubstr("X-Injected")));
  EXPECT_THAT(peer_->received_messages()[0], Not(HasSubstr("example.org")));
}

TEST_F(BulkSendTest, RawBatchesRewriteTheHandoffFile) {
  SubscribeLetters(5);
  Limit("2");
  // The file's own List-Id stands; the missing List-Unsubscribe is added.
  const QByteArray letter =
      "From: desk@list.test\r\nTo: owner@list.test\r\nlist-id:\r\n <own.list.test>\r\n"
      "Subject: Raw news\r\n\r\nBody\r\n";
  const QString path = WriteFile("news.eml", letter);
  EditFile(path, true);
  Click("SendMessage");
  EXPECT_EQ(OnlyMessage(), kMessageSent);
  // Copies off: the file's own To is named but not sent to.
  EXPECT_THAT(RecipientsPerMessage(),
              ElementsAre("a@x.test b@x.test", "c@x.test d@x.test", "e@x.test"));
  EXPECT_FALSE(QFile::exists(path + ".tempfile"));
  for (const std::string& message : peer_->received_messages()) {
    EXPECT_THAT(message,
                HasSubstr("List-Unsubscribe: <mailto:owner@list.test?subject=unsubscribe>\r\n"));
  }
  EXPECT_EQ(ReadFile(path), letter);
  for (const std::string& message : peer_->received_messages()) {
    EXPECT_THAT(message, Not(HasSubstr("Bcc")));
    EXPECT_THAT(message, Not(HasSubstr("List-Id")));
    EXPECT_THAT(message, HasSubstr("Subject: Raw news\r\n"));
  }
}

TEST_F(BulkSendTest, ARefusedSubscriberNoLongerCostsTheBatch) {
  SubscribeLetters(7);
  Limit("3");
  // The second recipient of every transaction is refused: b and e.
  peer_->SetRcptReply(1, PeerReply::Text("550 5.1.1 No such user\r\n"));
  Click("SendMessage");
  EXPECT_EQ(OnlyMessage(),
            "2 subscribers were refused: b@x.test (550 5.1.1 No such user), e@x.test (550 5.1.1 "
            "No such user)\n" +
                SendRecordNamed(LatestSendRecord()));
  // Each batch went out to the others.
  EXPECT_THAT(RecipientsPerMessage(),
              ElementsAre("a@x.test b@x.test c@x.test", "d@x.test e@x.test f@x.test", "g@x.test"));
  EXPECT_EQ(peer_->received_messages().size(), 3u);
  // One session for the whole send.
  EXPECT_EQ(peer_->connections(), 1);
}

TEST_F(BulkSendTest, RefusalsForNowAreTriedAgainAfterAPause) {
  QStringList waits;
  InstantWaiter waiter(&waits);
  ScopedSendRetriesForTesting retries({&waiter, std::chrono::hours(24)});
  SubscribeLetters(6);
  Limit("2");
  // The second message is refused whole for now; the server ends the kept
  // session with 421 at the third.
  peer_->SetNthReply(SmtpStep::kMailFrom, 1, PeerReply::Text("450 4.7.1 rate limit exceeded\r\n"));
  peer_->SetNthReply(SmtpStep::kMailFrom, 3, PeerReply::Disconnect("421 4.7.0 closing\r\n"));
  Click("SendMessage");
  EXPECT_EQ(OnlyMessage(), kMessageSent);
  // A pause of a minute for the 450; the mailer itself takes a new
  // connection for the message the 421 met.
  EXPECT_THAT(waits, ElementsAre("until 14:01"));
  EXPECT_THAT(RecipientsPerMessage(),
              ElementsAre("a@x.test b@x.test", "", "c@x.test d@x.test", "", "e@x.test f@x.test"));
  EXPECT_EQ(peer_->received_messages().size(), 3u);
  EXPECT_EQ(peer_->connections(), 2);
}

TEST_F(BulkSendTest, ImpossibleSendsAreRefusedBeforeAnything) {
  {
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM MailingList"), std::vector<std::string>{"0"});
    Click("SendMessage");
    EXPECT_EQ(OnlyMessage(), kListEmpty);
  }
  SubscribeLetters(3);
  for (const char* size : {"0", "0.5", "-2", "abc", "", "32768", "1e9"}) {
    Limit(size);
    Click("SendMessage");
    EXPECT_EQ(OnlyMessage(), kBadBatchSize) << size;
  }
  {
    Sql("INSERT INTO MailingList (\"E-Mail\") WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
        "SELECT i + 1 FROM n WHERE i < 32765) SELECT 'z' || i || '@x.test' FROM n");
    SetCheckState(*window_->setup_page().limit_recipients_per_message(), kUnchecked);
    Click("SendMessage");
    EXPECT_EQ(OnlyMessage(), kListTooLong);
  }
  EXPECT_EQ(peer_->connections(), 0);
}

TEST_F(BulkSendTest, ControlsAreReadOnceTheListIsOpen) {
  SubscribeLetters(2);
  int reads = 0;
  const auto read_inputs = [this, &reads] {
    ++reads;
    return window_->CurrentSendInputs();
  };
  {
    QString err;
    BulkSendJob job;
    EXPECT_FALSE(PlanBulkSend(read_inputs, "nosuchsource", &job, &err));
    EXPECT_THAT(err.toStdString(), StartsWith("The mailing list could not be opened: "));
    EXPECT_EQ(reads, 0);
  }
  {
    // Planned on the send's own thread, which reads the controls through
    // the window's.
    QString note = "stale";
    dialogs_.answers = {true};  // to the question before the send
    SendInBatches(
        *window_, mailers_,
        [&](BulkSendJob* job, QString* err) {
          const bool planned = PlanBulkSend(read_inputs, data_source_.c_str(), job, err);
          note = job->note;
          return planned;
        },
        dir_.path());
    ASSERT_EQ(dialogs_.questions.size(), 1u);
    EXPECT_EQ(dialogs_.messages.back(), kMessageSent);
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(note, "");
  }
  EXPECT_THAT(RecipientsPerMessage(), ElementsAre("a@x.test b@x.test"));
}

TEST_F(BulkSendTest, FailuresOfTheFileTheListAndTheMailerAreReported) {
  SubscribeLetters(3);
  {
    const QString missing = dir_.filePath("missing.eml");
    EditFile(missing, true);
    Click("SendMessage");
    EXPECT_EQ(OnlyMessage(),
              "The message could not be handed to the mailer: Cannot read the message file \"" +
                  missing + "\": No such file or directory");
  }
  {
    EditText("News", "Hello");
    UnregisterMailer();
    Click("SendMessage");
    EXPECT_THAT(OnlyMessage().toStdString(), StartsWith("The mailer could not be created: "));
  }
  {
    Sql("DROP TABLE MailingList");
    Click("SendMessage");
    EXPECT_THAT(OnlyMessage().toStdString(), StartsWith("The mailing list could not be read: "));
  }
  EXPECT_EQ(peer_->connections(), 0);
  // The editor keeps what it held.
  EXPECT_EQ(window_->messages_page().subject()->text(), "News");
  EXPECT_EQ(window_->CurrentMessageTab(), 1);
}

}  // namespace
}  // namespace verdanpost::testing_support
