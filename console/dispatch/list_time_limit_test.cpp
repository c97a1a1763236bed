// The list operations against a PostgreSQL list whose server stops
// answering (SIGSTOP): each ends within the list's time limit, says so, and
// leaves nothing half-done; Cancel ends a bulk send's read of the list.

#include <gmock/gmock.h>

#include <thread>

#include "console/dispatch/operations_test_support.h"
#include "console/mailinglist/list_database.h"
#include "console/mailinglist/list_schema.h"
#include "platform/database/database_test_support.h"

namespace verdanpost::testing_support {
namespace {

namespace test_support = database::test_support;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A view whose sends ask for Cancel from the start: the operator pressed it
// while the list was still being read.
class CancellingView : public FakeOperationsView {
 public:
  using FakeOperationsView::FakeOperationsView;
  void RunSend(const ProgressingSend& run) override {
    class Pressed : public SendProgress {
     public:
      void MessageStarting(int, int, int64_t) override {}
      bool CancelRequested() override { return true; }
    } pressed;
    std::thread thread([&] { run(pressed); });
    thread.join();
  }
};

class ListTimeLimitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    setenv("XDG_DATA_HOME", dir_.filePath("data").toStdString().c_str(), 1);
    std::string why;
    data_source_ = test_support::UseEmptyDataSource(test_support::Backend::kPostgreSQL, &why);
    if (data_source_.empty()) GTEST_FAIL() << why;
    mailinglist::ListConnection list;
    database::Status status = list.Open(data_source_);
    if (status.ok()) status = mailinglist::CreateTables(list.get());
    ASSERT_TRUE(status.ok()) << status.message();
    list.Close();
    mailinglist::SetListTimeLimit(std::chrono::seconds(2));
    operations_ = std::make_unique<ListOperations>(view_, mailers_, data_source_);
    view_.add = {"Ann Lee", "ann@x.test", "1 Main St"};
    view_.send.setup.FromName = "List Desk";
    view_.send.setup.FromEmail = "desk@list.test";
    view_.send.setup.SMTPServer = "mail.test";
    view_.send.message.UseFile = false;
    view_.send.message.UseText = true;
    view_.send.message.Subject = "News";
    view_.send.message.MessageText = "Hello, list";
    view_.tabs[2] = view_.send.message;
  }
  void TearDown() override {
    if (stopped_) Continue();
    mailinglist::SetListTimeLimit(std::chrono::seconds(30));
  }

  void Stop() {
    ASSERT_TRUE(test_support::StopPostgreSQL());
    stopped_ = true;
  }
  void Continue() {
    ASSERT_TRUE(test_support::ContinuePostgreSQL());
    stopped_ = false;
  }

  // The addresses on the list, once no other connection is left to the
  // server (an abandoned one has rolled back what it began).
  std::vector<std::string> AddressesWhenAlone() {
    database::Connection connection;
    EXPECT_TRUE(connection.Open(data_source_).ok());
    for (;;) {
      std::vector<std::string> others = test_support::FirstColumn(
          &connection,
          "SELECT pid FROM pg_stat_activity WHERE backend_type = 'client backend' AND pid <> "
          "pg_backend_pid()",
          "");
      if (others.empty()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return test_support::FirstColumn(&connection, "SELECT \"E-Mail\" FROM \"MailingList\"",
                                     "<null>");
  }

  // Runs |click| and gives its one message box.
  std::string Only(void (ListOperations::*click)()) {
    const size_t before = view_.messages.size();
    ((*operations_).*click)();
    EXPECT_EQ(view_.messages.size() - before, 1u) << "message boxes shown";
    return view_.messages.size() == before ? "" : view_.messages.back().toStdString();
  }

  QTemporaryDir dir_;
  std::string data_source_;
  QStringList log_;
  CancellingView view_{&log_};
  ScriptedMailerFactory mailers_{&log_};
  std::unique_ptr<ListOperations> operations_;
  bool stopped_ = false;
};

TEST_F(ListTimeLimitTest, AddEndsWithinTheLimitAndWritesNothing) {
  {
    // Stopped before Add: nothing is sent.
    Stop();
    const std::string box =
        "The mailing list could not be opened: The mailing list did not answer within 2 seconds.";
    EXPECT_EQ(Only(&ListOperations::Add_Click), box);
    EXPECT_EQ(log_.join('\n').toStdString(), "show " + box);
    Continue();
  }
  {
    // Stopped while the greeting goes out: the row that follows is not
    // written, not even once the server goes on.
    log_.clear();
    mailers_.on_send = [this] { Stop(); };
    EXPECT_EQ(Only(&ListOperations::Add_Click),
              "Message sent, but the subscriber could not be added: "
              "The mailing list did not answer within 2 seconds.");
    EXPECT_TRUE(log_.contains("tab 2"));
    Continue();
  }
  EXPECT_THAT(AddressesWhenAlone(), IsEmpty());
}

TEST_F(ListTimeLimitTest, TheSendsReadEndsWithinTheLimitOrAtCancel) {
  {
    // Cancel pressed while the read waits: no time limit needed.
    mailinglist::SetListTimeLimit(std::chrono::seconds(3600));
    Stop();
    EXPECT_EQ(Only(&ListOperations::SendMessage_Click),
              "Sending cancelled while the mailing list was read: no message sent.");
    Continue();
  }
  {
    // Without Cancel, the limit ends it.
    mailinglist::SetListTimeLimit(std::chrono::seconds(2));
    FakeOperationsView patient(&log_);
    patient.send = view_.send;
    ListOperations operations(patient, mailers_, data_source_);
    Stop();
    operations.SendMessage_Click();
    EXPECT_THAT(patient.messages, ElementsAre("The mailing list could not be opened: "
                                              "The mailing list did not answer within 2 seconds."));
    Continue();
  }
  // No mailer was made.
  EXPECT_FALSE(log_.contains("Create"));
}

}  // namespace
}  // namespace verdanpost::testing_support
