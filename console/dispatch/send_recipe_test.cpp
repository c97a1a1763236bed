#include "console/dispatch/send_recipe.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <tuple>

#include "console/dispatch/fake_mailer_test_support.h"
#include "console/dispatch/operator_texts.h"

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
    // The hand-off file as the mailer reads it: it is gone after the send.
    mailers_.on_send = [this] {
      QFile file(inputs_.message.FileName + ".tempfile");
      handoff_ = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
      handoff_permissions_ = file.permissions();
    };
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
  const QByteArray& Handoff() const { return handoff_; }
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
  QByteArray handoff_;
  QFileDevice::Permissions handoff_permissions_;
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
    // For the owner alone while it exists, and removed once the mailer has read it.
    EXPECT_EQ(handoff_permissions_, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ReadUser | QFileDevice::WriteUser);
    EXPECT_FALSE(QFile::exists(inputs_.message.FileName + ".tempfile"));
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
  {
    // A batch: the owner's copy is its To, as in the other forms.
    SendBatch("a@x, b@x");
    EXPECT_EQ(Handoff(),
              "Bcc: a@x, b@x\r\nTo: \"Owen Owner\" <owner@example.org>\r\n" + message + "\r\n");
    inputs_.setup.CopyMessages = kUnchecked;
    SendBatch("a@x");
    EXPECT_EQ(Handoff(), "Bcc: a@x\r\n" + message + "\r\n");
  }
}

TEST_F(SendRecipeTest, MessagesThatCannotBeMadeAreRefusedBeforeAnything) {
  const auto refusal = [this](StoredMessage which) {
    QString err;
    EXPECT_FALSE(CheckSendable(inputs_, which, &err));
    return err;
  };
  {
    inputs_.setup.FromEmail = " ";
    EXPECT_EQ(refusal(StoredMessage::kMessages), kFromEmpty);
    for (const char* from : {"desk.example.org", "a@b@example.org", "desk@example.org\r\n"}) {
      inputs_.setup.FromEmail = from;
      EXPECT_EQ(refusal(StoredMessage::kMessages), kFromNotValid) << from;
    }
    inputs_.setup.FromEmail = "desk@example.org";
  }
  {
    // Each stored message names its own tab.
    UseFile("", kUnchecked);
    inputs_.message.FileName.clear();
    EXPECT_EQ(refusal(StoredMessage::kAddition),
              "No message file is chosen for the greeting: choose a file on the Messages page "
              "(Addition), or pick Use Text.");
    EXPECT_EQ(refusal(StoredMessage::kRemoval),
              "No message file is chosen for the farewell: choose a file on the Messages page "
              "(Removal), or pick Use Text.");
    EXPECT_EQ(refusal(StoredMessage::kMessages),
              "No message file is chosen for the list message: choose a file on the Messages "
              "page (Send), or pick Use Text.");
  }
  {
    // Raw: the file's own header must start it and name a sender, whatever
    // lines the console inserts ahead of it.
    for (const auto& [content, why] : {std::pair<QByteArray, const char*>{
                                           "Plain text\r\nFrom: x@y\r\n", kMessageFileHasNoHeader},
                                       {"", kMessageFileHasNoHeader},
                                       {"\r\nFrom: x@y\r\n", kMessageFileHasNoHeader},
                                       {"Subject: s\r\n\r\nFrom: x@y\r\n", kNoFromLine},
                                       {"Subject: s\nFROM:   \n\nBody", kNoFromLine}}) {
      UseFile(content, kChecked);
      EXPECT_EQ(refusal(StoredMessage::kMessages), why) << content.toStdString();
      QString err;
      EXPECT_FALSE(SendStoredMessage(*mailer_, inputs_, BatchList{"a@x"}, &err));
      EXPECT_EQ(err, why);
    }
    EXPECT_TRUE(calls_.isEmpty());
    EXPECT_FALSE(QFile::exists(inputs_.message.FileName + ".tempfile"));
    UseFile("Subject: s\nfrom: <x@y>\n\nBody", kChecked);
    QString err;
    EXPECT_TRUE(CheckSendable(inputs_, StoredMessage::kMessages, &err)) << err.toStdString();
  }
}

TEST_F(SendRecipeTest, HandoffFileThatCannotBeWrittenSendsNothing) {
  UseFile("From: desk@example.org\r\n\r\nBody", kChecked);
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
  // No hand-off file was written, and nothing reached the mailer.
  EXPECT_FALSE(QFile::exists(path));
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

// What the box shows of a failed send, from the mailer's properties; a
// mailer without the optional ones gives the plain form.
TEST_F(SendRecipeTest, FailureTextsCarryTheServersWords) {
  UseText();
  const auto failure = [this](const testing_support::ScriptedOutcome& outcome) {
    mailers_.outcomes = {outcome};
    SendBatch("a@x");
    MailerOutcome read;
    QString err;
    EXPECT_TRUE(ReadOutcome(*mailer_, &read, &err)) << err.toStdString();
    return FailureText(read);
  };
  EXPECT_EQ(failure({452, "Server returned RCPT TO error", "452 4.5.3 Error: too many recipients",
                     "", "mail.example.org:587"}),
            "Server returned RCPT TO error (452): 452 4.5.3 Error: too many recipients");
  EXPECT_EQ(
      failure({6, "Could not connect to server", "", "Connection refused", "mail.example.org:587"}),
      "Could not connect to server mail.example.org:587 (6): Connection refused");
  EXPECT_EQ(failure({6, "Could not connect to server"}), "Could not connect to server (6)");
}

}  // namespace
}  // namespace verdanpost
