// The bulk send with a scripted view and mailer: batching, the one report,
// and what is refused before a mailer is made.

#include "console/dispatch/bulk_send.h"

#include <gmock/gmock.h>

#include "console/dispatch/operations_test_support.h"
#include "console/window/test_application_test_support.h"

namespace verdanpost::testing_support {
namespace {

using ::testing::ElementsAre;

class BulkSendLogicTest : public FakeOperationsTest {
 protected:
  void Limit(const QString& recipients_per_message) {
    view_.send.setup.LimitRecipientsPerMessage = kChecked;
    view_.send.setup.RecipientsPerMessage = recipients_per_message;
  }

  // The Bcc of every message sent, and each IgnoreTo put, in order.
  QStringList Sends() const {
    QStringList sends;
    for (const QString& call : log_) {
      const QStringList parts = call.split('|');
      if (parts[0] == "SendMessage") sends << parts[4];
      if (parts[0] == "IgnoreTo") sends << call;
    }
    return sends;
  }
};

TEST_F(BulkSendLogicTest, BatchesInListOrderThroughOneMailer) {
  SubscribeLetters(7);
  Limit("3");
  EXPECT_EQ(SendMessage(), kMessageSent);
  EXPECT_EQ(log_.count("Create"), 1);
  EXPECT_THAT(Sends(), ElementsAre("IgnoreTo|-1", "a@x.test, b@x.test, c@x.test",
                                   "d@x.test, e@x.test, f@x.test", "g@x.test"));
  // The list's headers are handed over once, for every message of the send.
  EXPECT_EQ(log_.filter("ExtraHeaders|"),
            QStringList({"ExtraHeaders|List-Id: \"Owen Owner\" <owner.list.test>\r\n"
                         "List-Unsubscribe: <mailto:owner@list.test?subject=unsubscribe>"}));
  // Every batch names the owner in To and goes out unchanged otherwise.
  EXPECT_EQ(send_question_, "Send \"News\" to 7 subscribers in 3 messages?");
  EXPECT_EQ(log_.filter("SendMessage|")[0],
            "SendMessage|\"List Desk\" <desk@list.test>|\"Owen Owner\" <owner@list.test>||"
            "a@x.test, b@x.test, c@x.test|News|Hello, list");
}

TEST_F(BulkSendLogicTest, BatchSizesAndTheOwnersCopy) {
  SubscribeLetters(4);
  {
    // An exact multiple leaves no empty batch behind.
    Limit("2");
    SendMessage();
    EXPECT_THAT(Sends(), ElementsAre("IgnoreTo|-1", "a@x.test, b@x.test", "c@x.test, d@x.test"));
  }
  {
    log_.clear();
    Limit("10");
    view_.send.setup.CopyMessages = kChecked;
    SendMessage();
    EXPECT_THAT(Sends(), ElementsAre("IgnoreTo|0", "a@x.test, b@x.test, c@x.test, d@x.test"));
  }
  {
    // Limit off: the whole list at once, whatever the box says. A grey copy
    // box is not unchecked, so the owner is sent to.
    log_.clear();
    view_.send.setup.LimitRecipientsPerMessage = kUnchecked;
    view_.send.setup.RecipientsPerMessage = "0";
    view_.send.setup.CopyMessages = kGrayed;
    SendMessage();
    EXPECT_THAT(Sends(), ElementsAre("IgnoreTo|0", "a@x.test, b@x.test, c@x.test, d@x.test"));
  }
}

TEST_F(BulkSendLogicTest, EveryBatchIsTriedAndTheFailuresCounted) {
  SubscribeLetters(5);
  Limit("2");
  {
    mailers_.outcomes = {{451, "Server returned RCPT TO error"}, {}, {6, "Could not connect"}};
    const QString box = SendMessage();
    EXPECT_EQ(box,
              "2 of 3 messages could not be sent. Last error: Could not connect (6)" + FollowUp(3));
  }
  {
    // A failure followed by successes is still told.
    mailers_.outcomes = {{451, "Server returned RCPT TO error"}};
    const QString box = SendMessage();
    EXPECT_EQ(box,
              "1 of 3 messages could not be sent. Last error: Server returned "
              "RCPT TO error (451)" +
                  FollowUp(2));
  }
  EXPECT_EQ(log_.count("Create"), 2);
}

TEST_F(BulkSendLogicTest, AMailerCallThatFailsStopsTheWalk) {
  SubscribeLetters(5);
  Limit("2");
  {
    mailers_.FailCall("SendMessage", 2);
    const QString box = SendMessage();
    EXPECT_EQ(box,
              "Sending stopped after 1 message: The message could not be handed "
              "to the mailer: broken SendMessage" +
                  FollowUp(3));
  }
  {
    mailers_.FailCall("ServerName", 1);
    log_.clear();
    EXPECT_EQ(SendMessage(), "The mailer could not be created: broken ServerName");
    EXPECT_EQ(Sends().size(), 0);
  }
}

TEST_F(BulkSendLogicTest, RefusalsComeBeforeAnyMailer) {
  { EXPECT_EQ(SendMessage(), kListEmpty); }
  SubscribeLetters(2);
  for (const char* size : {"0", "-1", "x", "40000"}) {
    Limit(size);
    EXPECT_EQ(SendMessage(), kBadBatchSize) << size;
  }
  {
    // Rows without an address are skipped; none left is an empty list, and
    // the box says why. The addresses are planned before the mailer is made,
    // so this is refused before it too.
    DropUniqueAddressIndex();
    Sql("UPDATE MailingList SET \"E-Mail\" = ''");
    Limit("1");
    EXPECT_EQ(SendMessage(), QString(kListEmpty) +
                                 "\n2 subscribers were skipped: their addresses are empty or "
                                 "contain line breaks or other control characters.");
  }
  EXPECT_EQ(log_.count("Create"), 0);
  EXPECT_TRUE(Sends().isEmpty());
}

TEST_F(BulkSendLogicTest, ControlsAreReadOnceAfterTheListIsOpen) {
  SubscribeLetters(1);
  {
    EXPECT_EQ(SendMessage(), kMessageSent);
    EXPECT_EQ(view_.send_input_reads, 1);
  }
  {
    Sql("DROP TABLE MailingList");
    EXPECT_THAT(SendMessage().toStdString(),
                ::testing::StartsWith("The mailing list could not be read: "));
    EXPECT_EQ(view_.send_input_reads, 1);
  }
}

TEST_F(BulkSendLogicTest, UnsendableRowsAreSkippedAndCounted) {
  DropUniqueAddressIndex();
  Subscribe("a", "a@x.test");
  Sql("INSERT INTO MailingList (Name, \"E-Mail\") VALUES ('null', NULL), ('empty', ''), "
      "('hostile', 'x@example.org' || char(13, 10) || 'X-Injected: yes'), ('tab', 'b@x' || "
      "char(9) || '.test')");
  SubscribeLetters(3);  // a, b and c again
  Limit("2");
  {
    // Batches fill up from the next sendable row.
    EXPECT_EQ(SendMessage(), QString(kMessageSent) +
                                 "\n4 subscribers were skipped: their addresses are empty or "
                                 "contain line breaks or other control characters.");
    EXPECT_THAT(Sends(), ElementsAre("IgnoreTo|-1", "a@x.test, a@x.test", "b@x.test, c@x.test"));
  }
  {
    // One skipped row, after a failure report.
    Sql("DELETE FROM MailingList WHERE Name IN ('null', 'empty', 'tab')");
    mailers_.outcomes = {{451, "Server returned RCPT TO error"}};
    const QString box = SendMessage();
    EXPECT_EQ(box,
              "1 of 2 messages could not be sent. Last error: Server returned RCPT TO error "
              "(451)\n1 subscriber was skipped: the address is empty or contains a line break or "
              "another control character." +
                  FollowUp(2));
  }
}

TEST_F(BulkSendLogicTest, AStopTellsOfTheFailuresBeforeIt) {
  SubscribeLetters(5);
  Limit("1");
  {
    mailers_.outcomes = {{}, {451, "Server returned RCPT TO error"}, {}};
    mailers_.FailCall("SendMessage", 4);
    const QString box = SendMessage();
    EXPECT_EQ(box,
              "Sending stopped after 3 messages: The message could not be handed to the mailer: "
              "broken SendMessage\n1 of 3 messages could not be sent. Last error: Server "
              "returned RCPT TO error (451)" +
                  FollowUp(3));
  }
  {
    mailers_.outcomes = {{6, "Could not connect to server"}, {6, "Could not connect to server"}};
    mailers_.FailCall("ErrorCode", 3);
    const QString box = SendMessage();
    EXPECT_EQ(box,
              "Sending stopped after 2 messages: The mailer's answer could not be read: broken "
              "ErrorCode\n2 of 2 messages could not be sent. Last error: Could not connect to "
              "server (6)" +
                  FollowUp(5));
  }
}

TEST_F(BulkSendLogicTest, TheListIsReadWholeBeforeTheFirstMessage) {
  SubscribeLetters(5);
  Limit("2");
  // Once mail goes out, another program empties the list and adds someone:
  // its writes go through at once, and the send keeps to the list it read.
  bool changed = false;
  mailers_.on_send = [this, &changed] {
    if (changed) return;
    changed = true;
    Sql("DELETE FROM MailingList");
    Subscribe("late", "late@x.test");
  };
  EXPECT_EQ(SendMessage(), kMessageSent);
  EXPECT_THAT(Sends(),
              ElementsAre("IgnoreTo|-1", "a@x.test, b@x.test", "c@x.test, d@x.test", "e@x.test"));
  EXPECT_EQ(Subscribers(), std::vector<std::string>{"late|late@x.test"});
}

}  // namespace
}  // namespace verdanpost::testing_support
