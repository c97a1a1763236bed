// The Add and Delete buttons end to end: the list on SQLite, the mailer
// created by ProgID, the greeting and farewell at a scripted SMTP peer.

#include "console/dispatch/subscription.h"

#include <gmock/gmock.h>
#include <QDateTime>

#include "console/dispatch/operations_test_support.h"

namespace verdanpost::testing_support {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;
using ::testing::StartsWith;

class SubscriptionTest : public OperationsTest {
 protected:
  void SetUp() override {
    OperationsTest::SetUp();
    StoreText("Addition", "Welcome", "Glad to have you");
    StoreText("Removal", "Farewell", "Sorry to see you go");
    EditText("List news", "Unsaved list news");
    window_->add_page().name()->setText("Ann Lee");
    window_->add_page().email()->setText("ann@x.test");
    window_->add_page().mailing_address()->setText("1 Main St\r\nTown");
    window_->remove_page().name()->setText("Typed Name");
    window_->remove_page().email()->setText("bob@x.test");
  }

  // Stores a text definition in `section`, as the editor would on leaving it.
  void StoreText(const QString& section, const QString& subject, const QString& text) {
    settings_->setValue(section + "/UseFile", "False");
    settings_->setValue(section + "/UseText", "True");
    settings_->setValue(section + "/Subject", subject);
    settings_->setValue(section + "/MessageText", text);
  }
  void StoreRawFile(const QString& section, const QString& path) {
    settings_->setValue(section + "/UseFile", "True");
    settings_->setValue(section + "/UseText", "False");
    settings_->setValue(section + "/FileName", path);
    settings_->setValue(section + "/SendRaw", "1");
  }

  std::vector<std::string> Removals() {
    return Rows(
        "SELECT DeleterName, Name, \"E-Mail\", DateCreated, IPCreatedFrom, IPDeletedFrom "
        "FROM DeletedList ORDER BY ID");
  }
  static std::string Now() {
    return QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss").toStdString();
  }
};

TEST_F(SubscriptionTest, AddSendsTheGreetingThenWritesTheRow) {
  SetCheckState(*window_->setup_page().copy_messages(), kChecked);
  const std::string before = Now();
  Click("Add");
  EXPECT_EQ(OnlyMessage(), kUserAdded);
  EXPECT_THAT(RecipientsPerMessage(), ElementsAre("ann@x.test owner@list.test"));
  ASSERT_EQ(peer_->received_messages().size(), 1u);
  EXPECT_THAT(peer_->received_messages()[0], HasSubstr("To: \"Ann Lee\" <ann@x.test>\r\n"));
  EXPECT_THAT(peer_->received_messages()[0], HasSubstr("Subject: Welcome\r\n"));
  EXPECT_THAT(Rows("SELECT Name, \"E-Mail\", MailingAddress, BraSize, IPAddress FROM MailingList"),
              ElementsAre("Ann Lee|ann@x.test|1 Main St\r\nTown|0|127.0.0.1"));
  const std::vector<std::string> created = Rows("SELECT DateCreated FROM MailingList");
  ASSERT_EQ(created.size(), 1u);
  EXPECT_GE(created[0], before);

  // The editor went to the greeting; the list message's edits were stored.
  EXPECT_EQ(window_->CurrentMessageTab(), 2);
  EXPECT_EQ(window_->messages_page().subject()->text(), "Welcome");
  EXPECT_EQ(settings_->value("Messages/Subject").toString(), "List news");
  EXPECT_EQ(settings_->value("Messages/MessageText").toString(), "Unsaved list news");
  EXPECT_EQ(window_->add_page().email()->text(), "ann@x.test");

  // The same entry again is a duplicate.
  Click("Add");
  EXPECT_EQ(OnlyMessage(), kAlreadySubscribed);
  EXPECT_EQ(peer_->connections(), 1);
  EXPECT_EQ(Subscribers().size(), 1u);
}

TEST_F(SubscriptionTest, KnownAddressIsRefusedBeforeAnything) {
  Subscribe("Ann", "ann@x.test");
  Click("Add");
  EXPECT_EQ(OnlyMessage(), kAlreadySubscribed);
  EXPECT_EQ(peer_->connections(), 0);
  EXPECT_EQ(window_->CurrentMessageTab(), 1);
  EXPECT_EQ(window_->messages_page().subject()->text(), "List news");
  EXPECT_EQ(Subscribers(), std::vector<std::string>{"Ann|ann@x.test"});
}

TEST_F(SubscriptionTest, GreetingThatFailsAddsNobody) {
  UnreachableServer();
  Click("Add");
  // With the server and the reason where the mailer tells them.
  EXPECT_THAT(OnlyMessage().toStdString(), MatchesRegex(kRefusedConnection));
  EXPECT_THAT(Subscribers(), IsEmpty());
  EXPECT_EQ(window_->CurrentMessageTab(), 2);
}

TEST_F(SubscriptionTest, GreetingEditedOnItsTabIsSentAsItStands) {
  window_->SelectMessageTab(2);
  window_->messages_page().subject()->setText("Edited welcome");
  Click("Add");
  EXPECT_EQ(OnlyMessage(), kUserAdded);
  ASSERT_EQ(peer_->received_messages().size(), 1u);
  EXPECT_THAT(peer_->received_messages()[0], HasSubstr("Subject: Edited welcome\r\n"));
  EXPECT_EQ(settings_->value("Addition/Subject").toString(), "Welcome");
}

TEST_F(SubscriptionTest, RawGreetingGoesThroughTheHandoffFile) {
  const QByteArray letter =
      "From: desk@list.test\r\nTo: cc-desk@x.test\r\nSubject: Hi\r\n\r\nWelcome aboard\r\n";
  const QString path = WriteFile("welcome.eml", letter);
  StoreRawFile("Addition", path);
  SetCheckState(*window_->setup_page().copy_messages(), kChecked);
  Click("Add");
  EXPECT_EQ(OnlyMessage(), kUserAdded);
  // The hand-off file is gone once sent; the server got it without its Bcc.
  EXPECT_FALSE(QFile::exists(path + ".tempfile"));
  ASSERT_EQ(peer_->received_messages().size(), 1u);
  EXPECT_EQ(peer_->received_messages()[0],
            ("To: \"Ann Lee\" <ann@x.test>\r\n" + letter + "\r\n").toStdString());
  // The file's own To is delivered too: single sends do not ignore To.
  const std::vector<std::string> recipients = RecipientsPerMessage();
  ASSERT_EQ(recipients.size(), 1u);
  for (const char* address : {"ann@x.test", "cc-desk@x.test", "owner@list.test"}) {
    EXPECT_THAT(recipients[0], HasSubstr(address));
  }
  EXPECT_EQ(Subscribers(), std::vector<std::string>{"Ann Lee|ann@x.test"});
}

TEST_F(SubscriptionTest, AddFailuresAreReportedAndNothingHalfDoneLooksDone) {
  {
    UnregisterMailer();
    Click("Add");
    EXPECT_THAT(OnlyMessage().toStdString(), StartsWith("The mailer could not be created: "));
    // Nothing was switched: the unsaved edits are still in the editor.
    EXPECT_EQ(window_->CurrentMessageTab(), 1);
    EXPECT_EQ(window_->messages_page().message_text()->text(), "Unsaved list news");
    RestoreMailer();
  }
  {
    const QString missing = dir_.filePath("missing.eml");
    StoreRawFile("Addition", missing);
    Click("Add");
    EXPECT_EQ(OnlyMessage(), "The greeting could not be sent: Cannot read the message file \"" +
                                 missing + "\": No such file or directory");
    EXPECT_EQ(window_->CurrentMessageTab(), 2);
    window_->SelectMessageTab(1);
  }
  {
    StoreText("Addition", "Welcome", "Glad to have you");
    Sql("CREATE TRIGGER refuse BEFORE INSERT ON MailingList "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    Click("Add");
    EXPECT_THAT(OnlyMessage().toStdString(),
                StartsWith("Message sent, but the subscriber could not be added: "));
    EXPECT_EQ(peer_->received_messages().size(), 1u);
    Sql("DROP TRIGGER refuse");
  }
  {  // A table without a column the console writes is named before any mail.
    Sql("DROP TABLE MailingList");
    Sql("CREATE TABLE MailingList (ID INTEGER PRIMARY KEY, Name TEXT, \"E-Mail\" TEXT)");
    Click("Add");
    EXPECT_EQ(OnlyMessage(),
              "The mailing list could not be opened: The table MailingList has no column "
              "MailingAddress.");
    EXPECT_EQ(peer_->connections(), 1);
  }
  {
    Sql("DROP TABLE MailingList");
    Click("Add");
    EXPECT_THAT(OnlyMessage().toStdString(), StartsWith("The mailing list could not be opened: "));
    EXPECT_EQ(peer_->connections(), 1);
  }
  EXPECT_EQ(window_->add_page().name()->text(), "Ann Lee");
}

TEST_F(SubscriptionTest, PastedLineBreaksNeverReachAMessage) {
  const QString hostile = "x@example.org\r\nX-Injected: yes";
  {
    window_->add_page().email()->setText(hostile);
    ASSERT_EQ(window_->add_page().email()->text(), hostile);
    Click("Add");
    EXPECT_EQ(OnlyMessage(), TypedTextRefused(kEmailAddress));
    EXPECT_THAT(Subscribers(), IsEmpty());
    EXPECT_EQ(window_->CurrentMessageTab(), 1);
  }
  {
    // Such a row stored by another program can still be removed; its
    // farewell is not sent.
    Sql("INSERT INTO MailingList (Name, \"E-Mail\") VALUES ('hostile', 'x@example.org' || "
        "char(13, 10) || 'X-Injected: yes')");
    window_->remove_page().email()->setText(hostile);
    Click("Delete");
    EXPECT_EQ(OnlyMessage(), kRemovedNoFarewellAddress);
    EXPECT_THAT(Subscribers(), IsEmpty());
    EXPECT_EQ(Removals().size(), 1u);
    EXPECT_EQ(window_->CurrentMessageTab(), 1);
  }
  EXPECT_EQ(peer_->connections(), 0);
}

TEST_F(SubscriptionTest, DeleteLogsAndRemovesThenSendsTheFarewell) {
  Subscribe("Stored Name", "bob@x.test");
  Subscribe("Other", "other@x.test");
  const std::string before = Now();
  Click("Delete");
  EXPECT_EQ(OnlyMessage(), kUserRemoved);
  EXPECT_EQ(Subscribers(), std::vector<std::string>{"Other|other@x.test"});
  EXPECT_THAT(Removals(), ElementsAre("Typed Name|Stored Name|bob@x.test|2026-01-02 03:04:05|"
                                      "10.0.0.9|127.0.0.1"));
  const std::vector<std::string> deleted = Rows("SELECT DateDeleted FROM DeletedList");
  ASSERT_EQ(deleted.size(), 1u);
  EXPECT_GE(deleted[0], before);

  // The farewell goes to the typed name and address.
  EXPECT_THAT(RecipientsPerMessage(), ElementsAre("bob@x.test"));
  ASSERT_EQ(peer_->received_messages().size(), 1u);
  EXPECT_THAT(peer_->received_messages()[0], HasSubstr("To: \"Typed Name\" <bob@x.test>\r\n"));
  EXPECT_THAT(peer_->received_messages()[0], HasSubstr("Subject: Farewell\r\n"));
  EXPECT_EQ(window_->CurrentMessageTab(), 3);
  EXPECT_EQ(settings_->value("Messages/Subject").toString(), "List news");
  EXPECT_EQ(window_->remove_page().name()->text(), "Typed Name");
}

TEST_F(SubscriptionTest, UnknownAddressIsNotFound) {
  Subscribe("Other", "other@x.test");
  Click("Delete");
  EXPECT_EQ(OnlyMessage(), kUserNotFound);
  EXPECT_EQ(Subscribers().size(), 1u);
  EXPECT_THAT(Removals(), IsEmpty());
  EXPECT_EQ(window_->CurrentMessageTab(), 1);
  EXPECT_EQ(peer_->connections(), 0);
}

TEST_F(SubscriptionTest, FarewellThatFailsLeavesTheRemovalStanding) {
  Subscribe("Stored Name", "bob@x.test");
  UnreachableServer();
  Click("Delete");
  EXPECT_THAT(OnlyMessage().toStdString(),
              MatchesRegex(std::string(kRefusedConnection) + "\n" + kRemovedAnyway));
  EXPECT_THAT(Subscribers(), IsEmpty());
  EXPECT_EQ(Removals().size(), 1u);
  EXPECT_EQ(window_->CurrentMessageTab(), 3);
}

TEST_F(SubscriptionTest, RemovalOfAnAddressHeldTwiceIntoAFullLog) {
  DropUniqueAddressIndex();
  Subscribe("First", "bob@x.test");
  Sql("INSERT INTO MailingList (Name, \"E-Mail\") VALUES (NULL, 'BOB@x.test')");
  Sql("INSERT INTO DeletedList (DeleterName) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
      "SELECT i + 1 FROM n WHERE i < 49) SELECT 'old' || i FROM n");
  Click("Delete");
  // Both rows go, each logged; the log is trimmed back to 50 rows, and
  // the one farewell goes to the address as typed.
  EXPECT_EQ(OnlyMessage(),
            QString(kUserRemoved) +
                "\nThe address was on the list 2 times: each row was logged and removed.");
  EXPECT_THAT(Subscribers(), IsEmpty());
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM DeletedList"), std::vector<std::string>{"50"});
  EXPECT_EQ(Rows("SELECT Name FROM DeletedList WHERE Name IS NOT NULL ORDER BY ID"),
            (std::vector<std::string>{"First", ""}));
  EXPECT_THAT(RecipientsPerMessage(), ElementsAre("bob@x.test"));
}

TEST_F(SubscriptionTest, LogThatCannotBeTrimmedStillTakesTheRemoval) {
  Subscribe("Stored Name", "bob@x.test");
  Subscribe("Second", "sue@x.test");
  Sql("INSERT INTO DeletedList (DeleterName) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
      "SELECT i + 1 FROM n WHERE i < 50) SELECT 'old' || i FROM n");
  Sql("CREATE TRIGGER keep BEFORE DELETE ON DeletedList BEGIN SELECT RAISE(ABORT, 'log kept'); "
      "END");
  {
    // The row went in, so the removal is logged: it goes ahead, and the
    // failed trim is told in the same box.
    Click("Delete");
    const QString text = OnlyMessage();
    EXPECT_THAT(text.toStdString(),
                StartsWith(std::string(kUserRemoved) + "\nThe removal log could not be trimmed: "));
    EXPECT_THAT(text.toStdString(), HasSubstr("log kept"));
    EXPECT_EQ(Subscribers(), std::vector<std::string>{"Second|sue@x.test"});
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM DeletedList"), std::vector<std::string>{"51"});
    EXPECT_EQ(Removals().back(),
              "Typed Name|Stored Name|bob@x.test|2026-01-02 03:04:05|"
              "10.0.0.9|127.0.0.1");
  }
  {
    // The next removal trims the log back to its 50 most recent rows.
    Sql("DROP TRIGGER keep");
    window_->remove_page().email()->setText("sue@x.test");
    Click("Delete");
    EXPECT_EQ(OnlyMessage(), kUserRemoved);
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM DeletedList"), std::vector<std::string>{"50"});
    EXPECT_EQ(Rows("SELECT DeleterName FROM DeletedList ORDER BY ID LIMIT 1"),
              std::vector<std::string>{"old3"});
  }
  EXPECT_THAT(RecipientsPerMessage(), ElementsAre("bob@x.test", "sue@x.test"));
}

TEST_F(SubscriptionTest, DeleteFailuresSayHowFarTheRemovalGot) {
  Subscribe("Stored Name", "bob@x.test");
  {
    Sql("CREATE TRIGGER keep BEFORE DELETE ON MailingList BEGIN SELECT RAISE(ABORT, 'kept'); END");
    Click("Delete");
    // The log and the removal go together: neither stands.
    EXPECT_THAT(OnlyMessage().toStdString(),
                StartsWith("The user could not be removed, so the user stays: "));
    EXPECT_EQ(Subscribers().size(), 1u);
    EXPECT_EQ(Removals().size(), 0u);
    Sql("DROP TRIGGER keep");
  }
  {
    Sql("CREATE TRIGGER refuse BEFORE INSERT ON DeletedList "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    Click("Delete");
    EXPECT_THAT(OnlyMessage().toStdString(),
                StartsWith("The removal could not be logged, so the user stays: "));
    EXPECT_EQ(Subscribers().size(), 1u);
    Sql("DROP TRIGGER refuse");
  }
  {  // A log without a column it is written with is named before anything changes.
    Sql("ALTER TABLE DeletedList RENAME COLUMN DeleterName TO Remover");
    Click("Delete");
    EXPECT_EQ(OnlyMessage(),
              "The mailing list could not be opened: The table DeletedList has no column "
              "DeleterName.");
    EXPECT_EQ(Subscribers().size(), 1u);
    Sql("ALTER TABLE DeletedList RENAME COLUMN Remover TO DeleterName");
  }
  EXPECT_EQ(peer_->connections(), 0);
  EXPECT_EQ(window_->CurrentMessageTab(), 1);
  {
    UnregisterMailer();
    Click("Delete");
    const QString text = OnlyMessage();
    EXPECT_THAT(text.toStdString(), StartsWith("The mailer could not be created: "));
    EXPECT_TRUE(text.endsWith(QString("\n") + kRemovedAnyway)) << text.toStdString();
    EXPECT_THAT(Subscribers(), IsEmpty());
  }
}

}  // namespace
}  // namespace verdanpost::testing_support
