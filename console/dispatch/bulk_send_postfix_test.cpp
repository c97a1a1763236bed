// The bulk send end to end against a real Postfix on loopback: the window's
// Send Message, the mailer by ProgID, one subscriber unknown to the server
// and a server that takes two recipients a transaction. Needs root and
// Postfix; skips with the reason otherwise.

#include <gmock/gmock.h>

#include "console/dispatch/operations_test_support.h"
#include "console/dispatch/send_record_test_support.h"
#include "testing/real_mail_servers.h"

namespace verdanpost::testing_support {
namespace {

class BulkSendPostfixTest : public OperationsTest {
 protected:
  void SetUp() override {
    const std::string why = RealMailServers::Unavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    OperationsTest::SetUp();
    RealMailServers::Options options;
    options.users = {"owner", "list", "ann", "bob", "cid", "dan", "eve", "fay", "gus", "hal"};
    options.postfix_settings = {"smtpd_recipient_limit=2"};
    std::string err;
    ASSERT_TRUE(servers_.Start(options, &err)) << err;
    window_->setup_page().smtp_server()->setText(QString("127.0.0.1:%1").arg(servers_.smtp_port()));
  }

  RealMailServers servers_;
};

TEST_F(BulkSendPostfixTest, AnUnknownSubscriberAndARecipientLimitCostNobodyElse) {
  for (const char* name : {"ann", "gone", "bob", "cid", "dan", "eve", "fay", "gus", "hal"})
    Subscribe(name, std::string(name) + "@example.org");
  window_->SelectMessageTab(1);
  EditText("News", "Hello, list");
  SetCheckState(*window_->setup_page().limit_recipients_per_message(), kChecked);
  window_->setup_page().recipients_per_message()->setText("3");
  Click("SendMessage");
  const QString box = OnlyMessage();
  EXPECT_THAT(box.toStdString(),
              ::testing::StartsWith("1 subscriber was refused: gone@example.org (550 5.1.1"));
  for (const char* user : {"ann", "bob", "cid", "dan", "eve", "fay", "gus", "hal"}) {
    const std::vector<std::string> delivered = servers_.WaitForDelivery(user, 1);
    ASSERT_EQ(delivered.size(), 1u) << user << "\n" << servers_.Log();
    EXPECT_THAT(delivered[0], ::testing::HasSubstr("List-Id: \"Owen Owner\" <owner.list.test>"));
  }
  // A row a subscriber, each delivered one with Postfix's words.
  const std::vector<QStringList> rows = ReadCsv(LatestSendRecord());
  ASSERT_EQ(rows.size(), 10u);
  // The second message met the server's limit of two: the rest of the send
  // went in twos.
  QStringList messages;
  for (size_t i = 1; i < rows.size(); ++i) messages << rows[i][0];
  EXPECT_EQ(messages.join(""), "111222334");
  for (size_t i = 1; i < rows.size(); ++i) {
    const bool gone = rows[i][1] == "gone@example.org";
    EXPECT_EQ(rows[i][3], gone ? "550" : "0") << rows[i][1].toStdString();
    EXPECT_TRUE(rows[i][4].startsWith(gone ? "550 5.1.1" : "250 2.0.0"))
        << rows[i][4].toStdString();
  }
}

}  // namespace
}  // namespace verdanpost::testing_support
