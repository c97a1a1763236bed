// Raw sends ("Use file's message headers") end to end against a real SMTP
// server (testing/smtp_sink_server.py on aiosmtpd): what it receives, byte
// for byte, and what it never receives.

#include <gmock/gmock.h>
#include <QDir>
#include <QFile>

#include "console/dispatch/operations_test_support.h"
#include "testing/python_smtp_server.h"

namespace verdanpost::testing_support {
namespace {

using ::testing::ElementsAre;

class RawSendInteropTest : public OperationsTest {
 protected:
  void SetUp() override {
    OperationsTest::SetUp();
    if (HasFatalFailure()) return;
    if (!PythonSmtpServer::Available()) {
      GTEST_FAIL() << "aiosmtpd is not installed (scripts/install-deps.sh installs it)";
    }
    ASSERT_TRUE(QDir().mkpath(dir_.filePath("out")));
    std::string err;
    ASSERT_TRUE(server_.Start("smtp_sink_server.py",
                              {"127.0.0.1", dir_.filePath("out").toStdString()}, &err))
        << err;
    window_->setup_page().smtp_server()->setText("127.0.0.1:" + QString::number(server_.port()));
  }
  void TearDown() override {
    server_.Stop();
    OperationsTest::TearDown();
  }

  // The Nth message the server accepted (from 0): its envelope lines
  // (sender first) and its content.
  QStringList Envelope(int n) {
    return QString::fromUtf8(ReadFile(dir_.filePath("out/%1.envelope").arg(n)))
        .split('\n', Qt::SkipEmptyParts);
  }
  QByteArray Content(int n) { return ReadFile(dir_.filePath("out/%1.content").arg(n)); }
  bool Received(int n) { return QFile::exists(dir_.filePath("out/%1.content").arg(n)); }

  PythonSmtpServer server_;
};

TEST_F(RawSendInteropTest, TheOwnersCopyRidesOnTheInsertedToLine) {
  Subscribe("a", "a@x.test");
  Subscribe("b", "b@x.test");
  const QByteArray letter = "From: desk@list.test\r\nSubject: Raw news\r\n\r\nBody\r\n";
  const QString path = WriteFile("news.eml", letter);
  EditFile(path, true);
  SetCheckState(*window_->setup_page().copy_messages(), kChecked);
  Click("SendMessage");
  EXPECT_EQ(OnlyMessage(), kMessageSent);
  EXPECT_THAT(Envelope(0),
              ElementsAre("desk@list.test", "a@x.test", "b@x.test", "owner@list.test"));
  // The Bcc line is left out; the To line, the list's header lines and the
  // file follow as they are, with the hand-off file's closing line end and
  // the one before the end-of-data dot, which this server keeps.
  EXPECT_EQ(Content(0).toStdString(),
            ("To: \"Owen Owner\" <owner@list.test>\r\n"
             "List-Id: \"Owen Owner\" <owner.list.test>\r\n"
             "List-Unsubscribe: <mailto:owner@list.test?subject=unsubscribe>\r\n" +
             letter + "\r\n\r\n")
                .toStdString());
  EXPECT_FALSE(QFile::exists(path + ".tempfile"));
}

TEST_F(RawSendInteropTest, AFileWithoutItsOwnHeaderNeverGoesOut) {
  Subscribe("a", "a@x.test");
  for (const auto& [content, refusal] :
       {std::pair<QByteArray, const char*>{"Dear all,\r\nnews.\r\n",
                                           "Message does not have a header"},
        {"Subject: News\r\n\r\nDear all\r\n", "The message file has no From: line"}}) {
    EditFile(WriteFile("plain.eml", content), true);
    Click("SendMessage");
    EXPECT_EQ(OnlyMessage(), refusal);
    window_->SelectMessageTab(2);
    EditFile(WriteFile("plain.eml", content), true);
    window_->add_page().email()->setText("new@x.test");
    Click("Add");
    EXPECT_EQ(OnlyMessage(), refusal);
    window_->SelectMessageTab(1);
  }
  EXPECT_FALSE(Received(0));
  EXPECT_EQ(Subscribers(), std::vector<std::string>{"a|a@x.test"});
}

}  // namespace
}  // namespace verdanpost::testing_support
