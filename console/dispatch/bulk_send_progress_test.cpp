// Send Message end to end while it runs: the progress dialog over the
// window, Cancel, the record and the resend to the unreached, with the
// registered mailer and a scripted SMTP peer that holds every message.

#include <chrono>

#include <gmock/gmock.h>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>

#include "console/dispatch/operations_test_support.h"
#include "console/dispatch/send_record.h"
#include "console/dispatch/send_record_test_support.h"
#include "console/window/send_progress_dialog.h"
#include "console/window/test_application_test_support.h"

namespace verdanpost::testing_support {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

class BulkSendProgressTest : public OperationsTest {
 protected:
  void SetUp() override {
    OperationsTest::SetUp();
    if (HasFatalFailure()) return;
    EditText("News", "Hello, list");
    window_->show();
    // The dialog shows as a send starts, whatever the machine's speed.
    window_->set_progress_dialog_due(DueAfter(0ms));
    watch_.setInterval(5);
    QObject::connect(&watch_, &QTimer::timeout, [this] { Watch(); });
  }

  void Limit(int recipients_per_message) {
    SetCheckState(*window_->setup_page().limit_recipients_per_message(), kChecked);
    window_->setup_page().recipients_per_message()->setText(
        QString::number(recipients_per_message));
  }
  // The peer takes its time over every message it accepts.
  void HoldEachMessage(std::chrono::milliseconds hold) {
    peer_->SetReply(SmtpStep::kEndOfData, PeerReply::After(hold, "250 Queued\r\n"));
  }
  void Refuse(const std::string& address, const char* reply = "550 No such user\r\n") {
    peer_->SetRcptReplyFor(address, PeerReply::Text(reply));
  }

  // Presses Send Message and watches the dialog until the send has ended,
  // pressing Esc once it shows "Message `escape_at` of ..." (never when 0).
  void SendWatching(int escape_at) {
    escape_at_ = escape_at;
    watch_.start();
    Click("SendMessage");
    watch_.stop();
  }

  void Watch() {
    auto* dialog = window_->findChild<SendProgressDialog*>();
    if (dialog == nullptr || !dialog->isVisible()) return;
    const QString label = dialog->findChild<QLabel*>("MessageNumber")->text();
    // "Starting" may pass too fast to be seen; each message is held.
    const bool counting = label.startsWith("Message ") || label.startsWith("Cancelling ");
    if (counting && (seen_.isEmpty() || seen_.back() != label)) seen_ << label;
    if (escape_at_ > 0 && label.startsWith(QString("Message %1 of ").arg(escape_at_))) {
      escape_at_ = 0;
      QWidget* target = QApplication::focusWidget();
      if (target == nullptr || target->window() != dialog) target = dialog;
      QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(target, &press);
    }
  }

  // Each record's rows after the header, with the time left out: number,
  // recipient, ErrorCode, ServerReply joined by "|"; oldest record first.
  std::vector<QStringList> Records() const {
    std::vector<QStringList> records;
    const QDir folder(SendRecordFolder());
    for (const QString& name : folder.entryList({"*.csv"}, QDir::Files, QDir::Name)) {
      std::vector<QStringList> rows = ReadCsv(folder.filePath(name));
      EXPECT_EQ(rows.empty() ? QStringList() : rows.front(),
                QStringList({"Message", "Recipient", "Ended", "ErrorCode", "ServerReply"}));
      QStringList joined;
      for (size_t i = 1; i < rows.size(); ++i) {
        rows[i].removeAt(2);  // the time
        joined << rows[i].join('|');
      }
      records.push_back(joined);
    }
    return records;
  }

  QTimer watch_;
  int escape_at_ = 0;
  QStringList seen_;  // the dialog's "Message N of M" texts while it showed
};

TEST_F(BulkSendProgressTest, EscapeDuringTheThirdOfTenStopsAfterIt) {
  SubscribeLetters(10);
  Limit(1);
  HoldEachMessage(400ms);
  SendWatching(3);
  EXPECT_EQ(OnlyMessage(), "Sending cancelled after 3 of 10 messages." + FollowUp(7));
  // The dialog counted every message until the Escape.
  EXPECT_THAT(seen_, ElementsAre("Message 1 of 10", "Message 2 of 10", "Message 3 of 10",
                                 "Cancelling after message 3 of 10"));
  EXPECT_EQ(peer_->received_messages().size(), 3u);
  EXPECT_THAT(RecipientsPerMessage(), ElementsAre("a@x.test", "b@x.test", "c@x.test"));
  const std::vector<QStringList> records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_THAT(records[0], ElementsAre("1|a@x.test|0|250 Queued", "2|b@x.test|0|250 Queued",
                                      "3|c@x.test|0|250 Queued"));
  // The window takes input again.
  EXPECT_TRUE(window_->isEnabled());
  EXPECT_EQ(window_->findChild<SendProgressDialog*>(), nullptr);
}

TEST_F(BulkSendProgressTest, YesResendsToExactlyTheTemporarilyRefusedAndTheCancelled) {
  SubscribeLetters(10);
  Limit(2);
  HoldEachMessage(400ms);
  Refuse("c@x.test", "450 4.2.1 Mailbox busy\r\n");
  Refuse("e@x.test");
  // By the time the question is asked the server takes c again.
  dialogs_.on_ask = [this] {
    if (IsBulkSendQuestion(dialogs_.questions.back())) return;
    peer_->SetRcptReplyFor("c@x.test", PeerReply::Text("250 Ok\r\n"));
  };
  dialogs_.answers = {true};
  SendWatching(4);
  ASSERT_EQ(dialogs_.questions.size(), 1u);
  const std::vector<QStringList> records = Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_THAT(dialogs_.questions[0].toStdString(),
              ::testing::StartsWith("Sending cancelled after 4 of 5 messages.\n1 subscriber was "
                                    "refused: e@x.test (550 No such user)\n"));
  EXPECT_THAT(dialogs_.questions[0].toStdString(),
              ::testing::EndsWith("3 subscribers were not reached. Send the message to them now?"));
  // The question, then the resend's own box.
  EXPECT_THAT(dialogs_.messages, ElementsAre(dialogs_.questions[0], QString(kMessageSent)));
  // Nobody twice, and a refused subscriber costs no batch-mate: c (for now)
  // and i and j (cancelled) in the resend; e (for good) never again.
  EXPECT_THAT(RecipientsPerMessage(),
              ElementsAre("a@x.test b@x.test", "c@x.test d@x.test", "e@x.test f@x.test",
                          "g@x.test h@x.test", "c@x.test i@x.test", "j@x.test"));
  EXPECT_EQ(peer_->received_messages().size(), 6u);
  EXPECT_THAT(records[0],
              ElementsAre("1|a@x.test|0|250 Queued", "1|b@x.test|0|250 Queued",
                          "2|c@x.test|450|450 4.2.1 Mailbox busy", "2|d@x.test|0|250 Queued",
                          "3|e@x.test|550|550 No such user", "3|f@x.test|0|250 Queued",
                          "4|g@x.test|0|250 Queued", "4|h@x.test|0|250 Queued"));
  EXPECT_EQ(records[1], QStringList({"1|c@x.test|0|250 Queued", "1|i@x.test|0|250 Queued",
                                     "2|j@x.test|0|250 Queued"}));
}

TEST_F(BulkSendProgressTest, RecordRowsMatchWhatTheServerReceived) {
  SubscribeLetters(7);
  Limit(2);
  Refuse("b@x.test");
  Refuse("e@x.test");
  Click("SendMessage");
  const std::vector<QStringList> records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(OnlyMessage(),
            "2 subscribers were refused: b@x.test (550 No such user), e@x.test (550 No such "
            "user)\n" +
                SendRecordNamed(LatestSendRecord()));
  // Row by row: refused where the server refused, sent where it took the
  // message.
  EXPECT_THAT(records[0], ElementsAre("1|a@x.test|0|250 Queued", "1|b@x.test|550|550 No such user",
                                      "2|c@x.test|0|250 Queued", "2|d@x.test|0|250 Queued",
                                      "3|e@x.test|550|550 No such user", "3|f@x.test|0|250 Queued",
                                      "4|g@x.test|0|250 Queued"));
  EXPECT_THAT(RecipientsPerMessage(), ElementsAre("a@x.test b@x.test", "c@x.test d@x.test",
                                                  "e@x.test f@x.test", "g@x.test"));
  EXPECT_EQ(peer_->received_messages().size(), 4u);
}

}  // namespace
}  // namespace verdanpost::testing_support
