#include "console/dispatch/send_recipe.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

namespace verdanpost {
namespace {

// Records each call as one line: the member, then its arguments in "|".
class RecordingMailer : public MailerClient {
 public:
  bool PutServerName(const QString& name, QString*) override {
    return Record({"ServerName", name});
  }
  bool PutIgnoreTo(bool ignore, QString*) override {
    return Record({"IgnoreTo", ignore ? "-1" : "0"});
  }
  bool SendMessage(const QString& from, const QString& to, const QString& cc, const QString& bcc,
                   const QString& subject, const QString& message, QString*) override {
    return Record({"SendMessage", from, to, cc, bcc, subject, message});
  }
  bool SendMessageFromFile(const QString& from, const QString& to, const QString& cc,
                           const QString& bcc, const QString& subject, const QString& file_name,
                           QString*) override {
    return Record({"SendMessageFromFile", from, to, cc, bcc, subject, file_name});
  }
  bool SendRawMessageFromFile(const QString& file_name, QString*) override {
    return Record({"SendRawMessageFromFile", file_name});
  }
  bool ErrorCode(int32_t* code, QString*) override {
    Record({"ErrorCode"});
    *code = code_;
    return true;
  }
  bool ErrorMessage(QString* message, QString*) override {
    Record({"ErrorMessage"});
    *message = message_;
    return true;
  }

  QStringList calls;
  int32_t code_ = 0;
  QString message_;

 private:
  bool Record(const QStringList& call) {
    calls << call.join('|');
    return true;
  }
};

class SendRecipeTest : public ::testing::Test {
 protected:
  SendRecipeTest() {
    inputs_.setup.FromName = "List Desk";
    inputs_.setup.FromEmail = "desk@example.org";
    inputs_.setup.ToName = "Owen Owner";
    inputs_.setup.ToEmail = "owner@example.org";
    inputs_.setup.CopyMessages = kChecked;
    inputs_.message.Subject = "Welcome";
    inputs_.message.MessageText = "Hello\r\nthere";
  }

  void UseText() {
    inputs_.message.UseFile = false;
    inputs_.message.UseText = true;
  }
  void UseFile(const QByteArray& content, int send_raw) {
    inputs_.message.UseFile = true;
    inputs_.message.SendRaw = send_raw;
    inputs_.message.FileName = dir_.filePath("letter.eml");
    QFile file(inputs_.message.FileName);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
  }
  QByteArray Handoff() const {
    QFile file(inputs_.message.FileName + ".tempfile");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
  }
  QString SendTo(const QString& name, const QString& email) {
    QString err;
    EXPECT_TRUE(SendStoredMessage(mailer_, inputs_, Recipient{name, email}, &err))
        << err.toStdString();
    return mailer_.calls.join('\n');
  }
  QString SendBatch(const QString& addresses) {
    QString err;
    EXPECT_TRUE(SendStoredMessage(mailer_, inputs_, BatchList{addresses}, &err))
        << err.toStdString();
    return mailer_.calls.join('\n');
  }

  QTemporaryDir dir_;
  SendInputs inputs_;
  RecordingMailer mailer_;
};

TEST_F(SendRecipeTest, TextToOneRecipient) {
  UseText();
  {
    EXPECT_EQ(SendTo("Ann Lee", "ann@example.org"),
              "SendMessage|\"List Desk\" <desk@example.org>|\"Ann Lee\" <ann@example.org>||"
              "owner@example.org|Welcome|Hello\r\nthere");
  }
  {
    // No name still gives the quotes; only a checked box asks for the copy.
    mailer_.calls.clear();
    inputs_.setup.FromName.clear();
    inputs_.setup.CopyMessages = kGrayed;
    EXPECT_EQ(
        SendTo("", "ann@example.org"),
        "SendMessage|\"\" <desk@example.org>|\"\" <ann@example.org>|||Welcome|Hello\r\nthere");
  }
}

TEST_F(SendRecipeTest, FileAsBody) {
  UseFile("Body\r\n", kUnchecked);
  const QString file = inputs_.message.FileName;
  {
    EXPECT_EQ(SendTo("Ann", "ann@example.org"),
              "SendMessageFromFile|\"List Desk\" <desk@example.org>|\"Ann\" <ann@example.org>||"
              "owner@example.org|Welcome|" +
                  file);
  }
  {
    // A grey "Use file's message headers" is not checked: still the body form.
    mailer_.calls.clear();
    inputs_.message.SendRaw = kGrayed;
    inputs_.setup.CopyMessages = kUnchecked;
    EXPECT_EQ(SendBatch("a@x, b@x"),
              "SendMessageFromFile|\"List Desk\" <desk@example.org>|"
              "\"Owen Owner\" <owner@example.org>||a@x, b@x|Welcome|" +
                  file);
  }
  EXPECT_FALSE(QFile::exists(file + ".tempfile"));
}

TEST_F(SendRecipeTest, TextToABatch) {
  UseText();
  EXPECT_EQ(SendBatch("a@x, b@x, c@x"),
            "SendMessage|\"List Desk\" <desk@example.org>|\"Owen Owner\" <owner@example.org>||"
            "a@x, b@x, c@x|Welcome|Hello\r\nthere");
}

TEST_F(SendRecipeTest, RawSendsWriteTheHandoffFile) {
  const QByteArray message = "From: desk@example.org\r\nTo: x@example.org\r\n\r\nBody";
  UseFile(message, kChecked);
  const QString handoff = inputs_.message.FileName + ".tempfile";
  {
    EXPECT_EQ(SendTo("Ann Lee", "ann@example.org"), "SendRawMessageFromFile|" + handoff);
    EXPECT_EQ(Handoff(),
              "To: \"Ann Lee\" <ann@example.org>\r\n"
              "Bcc: \"Owen Owner\" <owner@example.org>\r\n" +
                  message + "\r\n");
  }
  {
    inputs_.setup.CopyMessages = kUnchecked;
    SendTo("Ann Lee", "ann@example.org");
    EXPECT_EQ(Handoff(), "To: \"Ann Lee\" <ann@example.org>\r\n" + message + "\r\n");
  }
  {
    // Any state but unchecked asks for the copy in the raw form.
    inputs_.setup.CopyMessages = kGrayed;
    SendTo("B\xc3\xa9la", "bela@example.org");
    EXPECT_EQ(Handoff(),
              "To: \"B\xc3\xa9la\" <bela@example.org>\r\n"
              "Bcc: \"Owen Owner\" <owner@example.org>\r\n" +
                  message + "\r\n");
  }
  {
    // Each batch replaces the file; the copy is the To line's business here.
    mailer_.calls.clear();
    EXPECT_EQ(SendBatch("a@x, b@x"), "SendRawMessageFromFile|" + handoff);
    EXPECT_EQ(Handoff(), "Bcc: a@x, b@x\r\n" + message + "\r\n");
  }
}

TEST_F(SendRecipeTest, MessageFileEndingInALineBreakGetsAnother) {
  const QByteArray message = "Subject: s\r\n\r\nBody\r\n";
  UseFile(message, kChecked);
  SendBatch("a@x");
  EXPECT_EQ(Handoff(), "Bcc: a@x\r\nSubject: s\r\n\r\nBody\r\n\r\n");
}

TEST_F(SendRecipeTest, FileFailuresSendNothing) {
  {
    inputs_.message.UseFile = true;
    inputs_.message.SendRaw = kChecked;
    inputs_.message.FileName = dir_.filePath("missing.eml");
    QString err;
    EXPECT_FALSE(SendStoredMessage(mailer_, inputs_, BatchList{"a@x"}, &err));
    EXPECT_TRUE(
        err.startsWith("Cannot read the message file \"" + inputs_.message.FileName + "\": "))
        << err.toStdString();
    EXPECT_TRUE(mailer_.calls.isEmpty());
  }
  {
    UseFile("Subject: s\r\n\r\nBody", kChecked);
    ASSERT_TRUE(QDir().mkdir(inputs_.message.FileName + ".tempfile"));
    QString err;
    EXPECT_FALSE(SendStoredMessage(mailer_, inputs_, BatchList{"a@x"}, &err));
    EXPECT_TRUE(
        err.startsWith("Cannot write the file \"" + inputs_.message.FileName + ".tempfile\": "))
        << err.toStdString();
    EXPECT_TRUE(mailer_.calls.isEmpty());
  }
}

TEST_F(SendRecipeTest, OutcomeReadsTheMessageOnlyOnFailure) {
  {
    MailerOutcome outcome;
    QString err;
    ASSERT_TRUE(ReadOutcome(mailer_, &outcome, &err));
    EXPECT_TRUE(outcome.ok());
    EXPECT_EQ(mailer_.calls.join(','), "ErrorCode");
  }
  {
    mailer_.calls.clear();
    mailer_.code_ = 6;
    mailer_.message_ = "Could not connect to server";
    MailerOutcome outcome;
    QString err;
    ASSERT_TRUE(ReadOutcome(mailer_, &outcome, &err));
    EXPECT_EQ(mailer_.calls.join(','), "ErrorCode,ErrorMessage");
    EXPECT_EQ(FailureText(outcome), "Could not connect to server (6)");
  }
  { EXPECT_EQ(FailureText(MailerOutcome{-1, ""}), " (-1)"); }
}

}  // namespace
}  // namespace verdanpost
