// The whole chain against a real SMTP server: Add, Send Message and Delete
// through the window, the mailer by ProgID, the list on SQLite, and aiosmtpd
// (testing/smtp_sink_server.py) on loopback.

#include "console/dispatch/list_operations.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cstdio>
#include <cstdlib>

#include "console/dispatch/bulk_send.h"
#include "console/dispatch/operations_test_support.h"
#include "console/dispatch/send_record_test_support.h"
#include "console/dispatch/subscription.h"
#include "testing/python_smtp_server.h"

namespace verdanpost::testing_support {
namespace {

class ListOperationsInteropTest : public OperationsTest {
 protected:
  void SetUp() override {
    if (!PythonSmtpServer::Available()) {
      GTEST_FAIL() << "aiosmtpd is not installed (scripts/install-deps.sh installs it)";
    }
    OperationsTest::SetUp();
    out_ = dir_.filePath("out");
    ASSERT_TRUE(QDir().mkpath(out_));
    std::string err;
    ASSERT_TRUE(server_.Start("smtp_sink_server.py", {"127.0.0.1", out_.toStdString()}, &err))
        << err;
    window_->setup_page().smtp_server()->setText(QString("127.0.0.1:%1").arg(server_.port()));
  }

  void TearDown() override {
    server_.Stop();
    OperationsTest::TearDown();
  }

  // The envelope of the Nth message the server accepted: the sender, then
  // the recipients, one a line.
  QByteArray Envelope(int n) { return ReadFile(out_ + QString("/%1.envelope").arg(n)); }
  QByteArray Content(int n) { return ReadFile(out_ + QString("/%1.content").arg(n)); }

  QString out_;
  PythonSmtpServer server_;
};

TEST_F(ListOperationsInteropTest, SubscribeSendRemove) {
  settings_->setValue("Addition/UseFile", "False");
  settings_->setValue("Addition/UseText", "True");
  settings_->setValue("Addition/Subject", "Welcome");
  settings_->setValue("Addition/MessageText", "Glad to have you");
  const QByteArray farewell = "From: desk@list.test\r\nSubject: Farewell\r\n\r\nGoodbye\r\n";
  settings_->setValue("Removal/UseFile", "True");
  settings_->setValue("Removal/UseText", "False");
  settings_->setValue("Removal/FileName", WriteFile("farewell.eml", farewell));
  settings_->setValue("Removal/SendRaw", "1");
  SubscribeLetters(2);

  window_->add_page().name()->setText("Ann Lee");
  window_->add_page().email()->setText("ann@x.test");
  Click("Add");
  EXPECT_EQ(OnlyMessage(), kUserAdded);
  EXPECT_EQ(Envelope(0), "desk@list.test\nann@x.test\n");
  EXPECT_TRUE(Content(0).contains("To: \"Ann Lee\" <ann@x.test>\r\n"));
  EXPECT_TRUE(Content(0).contains("\r\n\r\nGlad to have you"));

  window_->SelectMessageTab(1);
  EditText("News", "Hello, list");
  SetCheckState(*window_->setup_page().limit_recipients_per_message(), kChecked);
  window_->setup_page().recipients_per_message()->setText("2");
  Click("SendMessage");
  EXPECT_EQ(OnlyMessage(), kMessageSent);
  EXPECT_EQ(Envelope(1), "desk@list.test\na@x.test\nb@x.test\n");
  EXPECT_EQ(Envelope(2), "desk@list.test\nann@x.test\n");
  EXPECT_TRUE(Content(2).contains("To: \"Owen Owner\" <owner@list.test>\r\n"));
  EXPECT_FALSE(Content(2).contains("ann@x.test"));

  window_->remove_page().name()->setText("Ann");
  window_->remove_page().email()->setText("ann@x.test");
  Click("Delete");
  EXPECT_EQ(OnlyMessage(), kUserRemoved);
  EXPECT_EQ(Envelope(3), "desk@list.test\nann@x.test\n");
  // The hand-off file's text; the mailer's end-of-data marker adds a line end.
  EXPECT_EQ(Content(3).toStdString(),
            ("To: \"Ann\" <ann@x.test>\r\n" + farewell + "\r\n\r\n").toStdString());
  EXPECT_EQ(Subscribers(), (std::vector<std::string>{"a|a@x.test", "b|b@x.test"}));
}

TEST_F(ListOperationsInteropTest, ARefusedSubscriberCostsNoBatchMate) {
  Subscribe("a", "a@x.test");
  Subscribe("gone", "unknown-b@x.test");
  Subscribe("c", "c@x.test");
  Subscribe("d", "d@x.test");
  window_->SelectMessageTab(1);
  EditText("News", "Hello, list");
  SetCheckState(*window_->setup_page().limit_recipients_per_message(), kChecked);
  window_->setup_page().recipients_per_message()->setText("3");
  Click("SendMessage");
  EXPECT_EQ(OnlyMessage(), "1 subscriber was refused: unknown-b@x.test (550 5.1.1 User unknown)\n" +
                               SendRecordNamed(LatestSendRecord()));
  EXPECT_EQ(Envelope(0), "desk@list.test\na@x.test\nc@x.test\n");
  EXPECT_EQ(Envelope(1), "desk@list.test\nd@x.test\n");
  EXPECT_TRUE(Content(0).contains("\r\nList-Id: \"Owen Owner\" <owner.list.test>\r\n"));
  const std::vector<QStringList> rows = ReadCsv(LatestSendRecord());
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[2][1], "unknown-b@x.test");
  EXPECT_EQ(rows[2][3], "550");
  EXPECT_EQ(rows[2][4], "550 5.1.1 User unknown");
  EXPECT_EQ(rows[4][1], "d@x.test");
  EXPECT_EQ(rows[4][3], "0");
  EXPECT_TRUE(rows[4][4].startsWith("250")) << rows[4][4].toStdString();
}

}  // namespace
}  // namespace verdanpost::testing_support
