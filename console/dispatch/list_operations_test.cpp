// The whole chain against a real SMTP server: Add, Send Message and Delete
// through the window, the mailer by ProgID, the list on SQLite, and aiosmtpd
// (testing/smtp_sink_server.py) on loopback.

#include "console/dispatch/list_operations.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cstdio>
#include <cstdlib>

#include "console/dispatch/bulk_send.h"
#include "console/dispatch/operations_test_support.h"
#include "console/dispatch/subscription.h"

namespace verdanpost::testing_support {
namespace {

constexpr char kPython[] = "/usr/bin/python3";

class ListOperationsInteropTest : public OperationsTest {
 protected:
  void SetUp() override {
    if (::access(kPython, X_OK) != 0 ||
        std::system("/usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null") != 0) {
      GTEST_FAIL() << "aiosmtpd is not installed (scripts/install-deps.sh installs it)";
    }
    OperationsTest::SetUp();
    out_ = dir_.filePath("out");
    ASSERT_TRUE(QDir().mkpath(out_));
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    pid_ = ::fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      ::dup2(pipe_fds[1], STDOUT_FILENO);
      ::close(pipe_fds[0]);
      ::close(pipe_fds[1]);
      const std::string script =
          std::string(VERDANPOST_SOURCE_DIR) + "/testing/smtp_sink_server.py";
      const std::string outdir = out_.toStdString();
      ::execl(kPython, kPython, script.c_str(), "127.0.0.1", outdir.c_str(), nullptr);
      ::_exit(127);
    }
    ::close(pipe_fds[1]);
    FILE* from_server = ::fdopen(pipe_fds[0], "r");
    int port = 0;
    const bool got_port = std::fscanf(from_server, "%d", &port) == 1;
    std::fclose(from_server);
    ASSERT_TRUE(got_port) << "the SMTP server did not start";
    window_->SetText("SMTPServer", QString("127.0.0.1:%1").arg(port));
  }

  void TearDown() override {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    OperationsTest::TearDown();
  }

  // The envelope of the Nth message the server accepted: the sender, then
  // the recipients, one a line.
  QByteArray Envelope(int n) { return ReadFile(out_ + QString("/%1.envelope").arg(n)); }
  QByteArray Content(int n) { return ReadFile(out_ + QString("/%1.content").arg(n)); }

  QString out_;
  pid_t pid_ = -1;
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

  window_->SetText("AddName", "Ann Lee");
  window_->SetText("AddEMail", "ann@x.test");
  Click("Add");
  EXPECT_EQ(OnlyMessage(), kUserAdded);
  EXPECT_EQ(Envelope(0), "desk@list.test\nann@x.test\n");
  EXPECT_TRUE(Content(0).contains("To: \"Ann Lee\" <ann@x.test>\r\n"));
  EXPECT_TRUE(Content(0).contains("\r\n\r\nGlad to have you"));

  window_->SelectMessageTab(1);
  EditText("News", "Hello, list");
  window_->SetCheckState("LimitRecipientsPerMessage", kChecked);
  window_->SetText("RecipientsPerMessage", "2");
  Click("SendMessage");
  EXPECT_EQ(OnlyMessage(), kMessageSent);
  EXPECT_EQ(Envelope(1), "desk@list.test\na@x.test\nb@x.test\n");
  EXPECT_EQ(Envelope(2), "desk@list.test\nann@x.test\n");
  EXPECT_TRUE(Content(2).contains("To: \"Owen Owner\" <owner@list.test>\r\n"));
  EXPECT_FALSE(Content(2).contains("ann@x.test"));

  window_->SetText("DeleteName", "Ann");
  window_->SetText("DeleteEmail", "ann@x.test");
  Click("Delete");
  EXPECT_EQ(OnlyMessage(), kUserRemoved);
  EXPECT_EQ(Envelope(3), "desk@list.test\nann@x.test\n");
  // The hand-off file's text; the mailer's end-of-data marker adds a line end.
  EXPECT_EQ(Content(3).toStdString(),
            ("To: \"Ann\" <ann@x.test>\r\n" + farewell + "\r\n\r\n").toStdString());
  EXPECT_EQ(Subscribers(), (std::vector<std::string>{"a|a@x.test", "b|b@x.test"}));
}

}  // namespace
}  // namespace verdanpost::testing_support
