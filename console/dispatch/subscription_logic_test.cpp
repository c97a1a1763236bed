// Subscribe and unsubscribe with a scripted view and mailer: what is sent,
// shown and written, and in which order.

#include "console/dispatch/subscription.h"

#include <gmock/gmock.h>
#include <chrono>
#include <future>
#include <thread>
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

TEST_F(SubscriptionLogicTest, TwoAddsOfOneAddressAtOnceGreetAndAddOnce) {
  // A second console on the same list, adding the address in other letters.
  QStringList other_log;
  FakeOperationsView other_view(&other_log);
  other_view.add = {"Ann Again", "ANN@x.test", ""};
  other_view.send = view_.send;
  other_view.tabs = view_.tabs;
  ScriptedMailerFactory other_mailers(&other_log);
  Subscription other(other_view, other_mailers, data_source_);

  std::promise<void> greeting_started;
  std::promise<void> other_done;
  std::shared_future<void> other_finished = other_done.get_future().share();
  mailers_.on_send = [&] {
    greeting_started.set_value();
    // The second Add starts while this greeting is on its way; one that did
    // not wait for it would greet and add within this while.
    other_finished.wait_for(std::chrono::milliseconds(500));
  };
  QString first_message;
  std::thread first([&] { first_message = Add(); });
  greeting_started.get_future().wait();
  std::thread second([&] {
    other.Add_Click();
    other_done.set_value();
  });
  first.join();
  second.join();
  EXPECT_EQ(first_message, kUserAdded);
  EXPECT_EQ(other_view.messages, std::vector<QString>{kAlreadySubscribed});
  EXPECT_THAT(other_log, ElementsAre(QString("show ") + kAlreadySubscribed));
  EXPECT_EQ(Subscribers(), std::vector<std::string>{"Ann Lee|ann@x.test"});
}

TEST_F(SubscriptionLogicTest, AddsAndSendsThatCannotGoOutAreRefusedFirst) {
  for (const char* email : {"ann.x.test", "ann@", "@x.test", "ann@x@test", " @x.test", ""}) {
    view_.add.email = email;
    EXPECT_EQ(Add(), kAddressNotValid) << email;
  }
  for (const QString& line : log_) EXPECT_TRUE(line.startsWith("show ")) << line.toStdString();
  view_.add.email = "ann@x.test";
  {
    view_.send.setup.FromEmail.clear();
    EXPECT_EQ(Add(), kFromEmpty);
    view_.remove.email = "b@x.test";
    Subscribe("B", "b@x.test");
    EXPECT_EQ(Delete(), QString(kFromEmpty) + '\n' + kRemovedAnyway);
    view_.send.setup.FromEmail = "desk";
    EXPECT_EQ(SendMessage(), kFromNotValid);
    view_.send.setup.FromEmail = "desk@list.test";
  }
  {
    view_.tabs[2].UseFile = true;
    view_.tabs[2].UseText = false;
    EXPECT_EQ(Add(),
              "No message file is chosen for the greeting: choose a file on the Messages page "
              "(Addition), or pick Use Text.");
  }
  // Nothing went out, nobody was added.
  EXPECT_FALSE(log_.join('\n').contains("SendMessage"));
  EXPECT_THAT(Subscribers(), IsEmpty());
}

TEST_F(SubscriptionLogicTest, DeleteRemovesEveryRowOfTheAddressAndCountsThem) {
  DropUniqueAddressIndex();
  Subscribe("Bob", "bob@x.test");
  Subscribe("Other", "other@x.test");
  Subscribe("Bob Again", "BOB@X.test");
  view_.remove.email = "Bob@x.test";
  EXPECT_EQ(Delete(),
            QString(kUserRemoved) +
                "\nThe address was on the list 2 times: each row was logged and removed.");
  EXPECT_EQ(Subscribers(), std::vector<std::string>{"Other|other@x.test"});
  EXPECT_EQ(Rows("SELECT Name, \"E-Mail\" FROM DeletedList ORDER BY ID"),
            (std::vector<std::string>{"Bob|bob@x.test", "Bob Again|BOB@X.test"}));
  // One farewell, to the address as typed.
  EXPECT_EQ(log_.filter("SendMessage|").size(), 1);
}

}  // namespace
}  // namespace verdanpost::testing_support
