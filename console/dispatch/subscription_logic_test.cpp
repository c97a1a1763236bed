// Subscribe and unsubscribe with a scripted view and mailer: what is sent,
// shown and written, and in which order.

#include "console/dispatch/subscription.h"

#include <gmock/gmock.h>
#include <tuple>

#include "console/dispatch/operations_test_support.h"

namespace verdanpost::testing_support {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class SubscriptionLogicTest : public FakeOperationsTest {
 protected:
  void SetUp() override {
    FakeOperationsTest::SetUp();
    view_.add = {"Ann Lee", "ann@x.test", "1 Main St"};
    view_.remove = {"Typed Name", "bob@x.test"};
  }

  // The greeting or farewell as the mailer receives it, copies off.
  static QString Sent(const QString& to, const char* subject) {
    return "SendMessage|\"List Desk\" <desk@list.test>|" + to + "|||" + subject + "|Text";
  }
};

TEST_F(SubscriptionLogicTest, AddSendsTheGreetingBeforeItWritesTheRow) {
  LogSubscribersAtSend();
  EXPECT_EQ(Add(), kUserAdded);
  EXPECT_THAT(log_, ElementsAre("Create", "ServerName|mail.test", "IgnoreTo|0", "tab 2",
                                Sent("\"Ann Lee\" <ann@x.test>", "Welcome"), "subscribers 0",
                                QString("show ") + kUserAdded));
  EXPECT_EQ(Subscribers(), std::vector<std::string>{"Ann Lee|ann@x.test"});
}

TEST_F(SubscriptionLogicTest, AddRefusedOrFailedWritesNothing) {
  {
    Subscribe("Ann", "ann@x.test");
    EXPECT_EQ(Add(), kAlreadySubscribed);
    // Refused before any mailer or tab switch.
    EXPECT_THAT(log_, ElementsAre(QString("show ") + kAlreadySubscribed));
    Sql("DELETE FROM MailingList");
  }
  {
    mailers_.outcomes = {{6, "Could not connect to server"}};
    EXPECT_EQ(Add(), "Could not connect to server (6)");
    EXPECT_EQ(view_.tab, 2);
  }
  {
    mailers_.create_error = "not registered";
    view_.tab = 1;
    log_.clear();
    EXPECT_EQ(Add(), "The mailer could not be created: not registered");
    EXPECT_THAT(log_,
                ElementsAre("Create", "show The mailer could not be created: not registered"));
    mailers_.create_error.clear();
  }
  {
    mailers_.FailCall("SendMessage");
    EXPECT_EQ(Add(), "The greeting could not be sent: broken SendMessage");
  }
  {
    mailers_.FailCall("ErrorCode");
    EXPECT_EQ(Add(), "The mailer's answer could not be read: broken ErrorCode");
  }
  EXPECT_THAT(Subscribers(), IsEmpty());
}

TEST_F(SubscriptionLogicTest, DeleteRemovesBeforeTheFarewell) {
  Subscribe("Stored Name", "bob@x.test");
  Subscribe("Other", "other@x.test");
  LogSubscribersAtSend();
  EXPECT_EQ(Delete(), kUserRemoved);
  // The farewell goes to the typed name once the row is gone.
  EXPECT_THAT(log_, ElementsAre("Create", "ServerName|mail.test", "IgnoreTo|0", "tab 3",
                                Sent("\"Typed Name\" <bob@x.test>", "Farewell"), "subscribers 1",
                                QString("show ") + kUserRemoved));
  EXPECT_EQ(Rows("SELECT DeleterName, Name FROM DeletedList"),
            std::vector<std::string>{"Typed Name|Stored Name"});
}

TEST_F(SubscriptionLogicTest, FailedFarewellsLeaveTheRemovalStanding) {
  SubscribeLetters(3);
  {
    view_.remove.email = "a@x.test";
    mailers_.outcomes = {{6, "Could not connect to server"}};
    EXPECT_EQ(Delete(), "Could not connect to server (6)\nUser removed anyway");
  }
  {
    view_.remove.email = "b@x.test";
    mailers_.create_error = "not registered";
    EXPECT_EQ(Delete(), "The mailer could not be created: not registered\nUser removed anyway");
    mailers_.create_error.clear();
  }
  {
    view_.remove.email = "c@x.test";
    mailers_.FailCall("ErrorMessage");
    mailers_.outcomes = {{550, "Server returned RCPT TO error"}};
    EXPECT_EQ(Delete(),
              "The mailer's answer could not be read: broken ErrorMessage\n"
              "User removed anyway");
  }
  EXPECT_THAT(Subscribers(), IsEmpty());
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM DeletedList"), std::vector<std::string>{"3"});
}

TEST_F(SubscriptionLogicTest, AddRefusesLineBreaksInTypedTexts) {
  const QString refused_name = TypedTextRefused(kName);
  const QString refused_email = TypedTextRefused(kEmailAddress);
  for (const auto& [name, email, mailing_address, refusal] :
       {std::tuple{"Ann\r\nBcc: all@x.test", "ann@x.test", "", refused_name},
        std::tuple{"Ann", "ann@x.test\r\nX-Injected: yes", "", refused_email},
        std::tuple{"Ann", "ann@x.test\n", "", refused_email},
        std::tuple{"Ann\t", "ann@x.test", "", refused_name},
        std::tuple{"Ann", "ann@x.test", "1 Main St\r\n\x1b", QString(kMailingAddressRefused)}}) {
    log_.clear();
    view_.add = {name, email, mailing_address};
    EXPECT_EQ(Add(), refusal) << name << email;
    // Refused before the list, a mailer or a tab switch.
    EXPECT_THAT(log_, ElementsAre("show " + refusal));
  }
  EXPECT_THAT(Subscribers(), IsEmpty());
  {
    // The mailing address may break its lines.
    view_.add = {"Ann", "ann@x.test", "1 Main St\r\nTown\tX"};
    EXPECT_EQ(Add(), kUserAdded);
    EXPECT_EQ(Rows("SELECT MailingAddress FROM MailingList"),
              std::vector<std::string>{"1 Main St\r\nTown\tX"});
  }
}

TEST_F(SubscriptionLogicTest, RowsThatCannotBeWrittenToAreRemovedWithoutAFarewell) {
  const std::string hostile = "x@example.org\r\nX-Injected: yes";
  Sql("INSERT INTO MailingList (Name, \"E-Mail\") VALUES ('hostile', 'x@example.org' || "
      "char(13, 10) || 'X-Injected: yes'), ('empty', ''), ('named', 'n@x.test')");
  {
    view_.remove = {"Typed Name", QString::fromStdString(hostile)};
    EXPECT_EQ(Delete(), kRemovedNoFarewellAddress);
  }
  {
    view_.remove = {"Typed Name", ""};
    EXPECT_EQ(Delete(), kRemovedNoFarewellAddress);
  }
  {
    view_.remove = {"Typed\r\nBcc: all@x.test", "n@x.test"};
    EXPECT_EQ(Delete(), kRemovedNoFarewellName);
  }
  // Each row was logged and removed; no mailer was made, no tab opened.
  EXPECT_THAT(Subscribers(), IsEmpty());
  EXPECT_EQ(Rows("SELECT \"E-Mail\" FROM DeletedList ORDER BY ID"),
            (std::vector<std::string>{hostile, "", "n@x.test"}));
  EXPECT_THAT(log_, ElementsAre(QString("show ") + kRemovedNoFarewellAddress,
                                QString("show ") + kRemovedNoFarewellAddress,
                                QString("show ") + kRemovedNoFarewellName));
}

TEST_F(SubscriptionLogicTest, UnknownAddressMakesNoMailer) {
  Subscribe("Other", "other@x.test");
  EXPECT_EQ(Delete(), kUserNotFound);
  EXPECT_THAT(log_, ElementsAre(QString("show ") + kUserNotFound));
  EXPECT_EQ(view_.tab, 1);
}

}  // namespace
}  // namespace verdanpost::testing_support
