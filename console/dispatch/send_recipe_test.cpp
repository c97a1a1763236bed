#include "console/dispatch/send_recipe.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <tuple>

#include "console/dispatch/fake_mailer_test_support.h"

namespace verdanpost {
namespace {

using testing_support::ScriptedMailerFactory;

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
    QString err;
    mailer_ = mailers_.Create(&err);
    calls_.clear();
  }

  void UseText() {
    inputs_.message.UseFile = false;
    inputs_.message.UseText = true;
  }
  void UseFile(const QByteArray& content, CheckState send_raw) {
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
    EXPECT_TRUE(SendStoredMessage(*mailer_, inputs_, Recipient{name, email}, &err))
        << err.toStdString();
    return calls_.join('\n');
  }
  QString SendBatch(const QString& addresses) {
    QString err;
    EXPECT_TRUE(SendStoredMessage(*mailer_, inputs_, BatchList{addresses}, &err))
        << err.toStdString();
    return calls_.join('\n');
  }

  QTemporaryDir dir_;
  SendInputs inputs_;
  QStringList calls_;
  ScriptedMailerFactory mailers_{&calls_};
  std::unique_ptr<MailerClient> mailer_;
};

// Recipient and owner addresses as the mailer receives them; the end-to-end
// tests cover what the server then sees.
TEST_F(SendRecipeTest, TextAndFileArguments) {
  {
    UseText();
    EXPECT_EQ(SendTo("Ann Lee", "ann@example.org"),
              "SendMessage|\"List Desk\" <desk@example.org>|\"Ann Lee\" <ann@example.org>||"
              "owner@example.org|Welcome|Hello\r\nthere");
  }
  {
    // No name still gives the quotes; only a checked box asks for the copy.
    calls_.clear();
    inputs_.setup.FromName.clear();
    inputs_.setup.CopyMessages = kGrayed;
    EXPECT_EQ(
        SendTo("", "ann@example.org"),
        "SendMessage|\"\" <desk@example.org>|\"\" <ann@example.org>|||Welcome|Hello\r\nthere");
  }
  {
    // A grey "Use file's message headers" is not checked: the body form.
    calls_.clear();
    UseFile("Body\r\n", kGrayed);
    const QString file = inputs_.message.FileName;
    EXPECT_EQ(SendBatch("a@x, b@x"),
              "SendMessageFromFile|\"\" <desk@example.org>|\"Owen Owner\" <owner@example.org>||"
              "a@x, b@x|Welcome|" +
                  file);
    EXPECT_FALSE(QFile::exists(file + ".tempfile"));
  }
}

TEST_F(SendRecipeTest, RawHeaderLines) {
  const QByteArray message = "From: desk@example.org\r\n\r\nBody\r\n";
  UseFile(message, kChecked);
  {
    inputs_.setup.CopyMessages = kUnchecked;
    EXPECT_EQ(SendTo("Ann Lee", "ann@example.org"),
              "SendRawMessageFromFile|" + inputs_.message.FileName + ".tempfile");
    EXPECT_EQ(Handoff(), "To: \"Ann Lee\" <ann@example.org>\r\n" + message + "\r\n");
  }
  {
    // Any state but unchecked asks for the copy in the raw form; the name
    // goes out in UTF-8. The message ends in CR LF and gets one more.
    inputs_.setup.CopyMessages = kGrayed;
    SendTo("B\u00e9la", "bela@example.org");
    EXPECT_EQ(Handoff(),
              "To: \"B\xc3\xa9la\" <bela@example.org>\r\n"
              "Bcc: \"Owen Owner\" <owner@example.org>\r\n" +
                  message + "\r\n");
  }
}

TEST_F(SendRecipeTest, HandoffFileThatCannotBeWrittenSendsNothing) {
  UseFile("Subject: s\r\n\r\nBody", kChecked);
  ASSERT_TRUE(QDir().mkdir(inputs_.message.FileName + ".tempfile"));
  QString err;
  EXPECT_FALSE(SendStoredMessage(*mailer_, inputs_, BatchList{"a@x"}, &err));
  EXPECT_TRUE(
      err.startsWith("Cannot write the file \"" + inputs_.message.FileName + ".tempfile\": "))
      << err.toStdString();
  EXPECT_TRUE(calls_.isEmpty());
}

TEST_F(SendRecipeTest, LineBreaksNeverReachTheHandoffFile) {
  const QByteArray message = "From: desk@example.org\r\n\r\nBody\r\n";
  UseFile(message, kChecked);
  SendTo("Ann Lee", "ann@example.org");
  const QByteArray before = Handoff();
  const QString path = inputs_.message.FileName + ".tempfile";
  calls_.clear();
  for (const auto& [owner, recipient, batch, field] :
       {std::tuple{"Owen\r\nX-Injected: yes", "ann@example.org", "", "Bcc"},
        std::tuple{"Owen", "ann@example.org\nX-Injected: yes", "", "To"},
        std::tuple{"Owen", "ann@example.org\u2028", "", "To"},
        std::tuple{"Owen", "", "a@x, b@x\r\nX-Injected: yes", "Bcc"}}) {
    inputs_.setup.ToName = owner;
    QString err;
    const bool sent = *batch != '\0'
                          ? SendStoredMessage(*mailer_, inputs_, BatchList{batch}, &err)
                          : SendStoredMessage(*mailer_, inputs_, Recipient{"Ann", recipient}, &err);
    EXPECT_FALSE(sent);
    EXPECT_EQ(err, "Cannot write the file \"" + path + "\": its \"" + field +
                       ":\" line would contain a line break or another control character");
  }
  // The last good hand-off file stays as it was, and nothing reached the mailer.
  EXPECT_EQ(Handoff(), before);
  EXPECT_TRUE(calls_.isEmpty());
}

TEST_F(SendRecipeTest, LineBreaksNeverReachABuiltHeader) {
  UseText();
  inputs_.setup.CopyMessages = kUnchecked;
  struct Case {
    QString* text;
    const char* field;
  };
  for (const Case& c : {Case{&inputs_.message.Subject, "Subject"},
                        Case{&inputs_.setup.FromName, "From"}, Case{&inputs_.setup.ToName, "To"}}) {
    const QString kept = *c.text;
    *c.text = "x\r\nX-Injected: yes";
    QString err;
    EXPECT_FALSE(SendStoredMessage(*mailer_, inputs_, BatchList{"a@x"}, &err));
    EXPECT_EQ(err, QString("its \"%1:\" line would contain a line break or another control "
                           "character")
                       .arg(c.field));
    *c.text = kept;
  }
  {
    // The owner's copy of a single send is its Bcc; the recipient its To.
    inputs_.setup.CopyMessages = kChecked;
    inputs_.setup.ToEmail = "owner@example.org\n";
    QString err;
    EXPECT_FALSE(SendStoredMessage(*mailer_, inputs_, Recipient{"Ann", "ann@example.org"}, &err));
    EXPECT_EQ(err, "its \"Bcc:\" line would contain a line break or another control character");
    inputs_.setup.ToEmail = "owner@example.org";
    EXPECT_FALSE(SendStoredMessage(*mailer_, inputs_, Recipient{"Ann\t", "ann@example.org"}, &err));
    EXPECT_EQ(err, "its \"To:\" line would contain a line break or another control character");
  }
  EXPECT_TRUE(calls_.isEmpty());
  // The message text is a body, not a header: its lines may break.
  EXPECT_FALSE(SendBatch("a@x").isEmpty());
}

}  // namespace
}  // namespace verdanpost
