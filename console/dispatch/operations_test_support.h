#ifndef VERDANPOST_CONSOLE_DISPATCH_OPERATIONS_TEST_SUPPORT_H_
#define VERDANPOST_CONSOLE_DISPATCH_OPERATIONS_TEST_SUPPORT_H_

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include "console/dispatch/list_operations.h"
#include "console/window/console_window.h"
#include "console/window/recording_dialogs.h"
#include "testing/scripted_smtp_peer.h"

namespace verdanpost::testing_support {

// The console window with its real operations, end to end: the mailer
// library registered in a temporary registry and created by ProgID, "vestro"
// on a fresh SQLite file holding the two list tables, and a scripted SMTP
// peer on loopback named in the Setup page. Steps and checks are helpers so
// that each test reads as a scenario.
class OperationsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;
  void TearDown() override;

  // Presses the button `name` ("Add", "Delete", "SendMessage").
  void Click(const char* name);
  // The one message box shown since the last call; a failure when there was
  // not exactly one.
  QString OnlyMessage();

  // Runs `sql` on the list database.
  void Sql(const std::string& sql);
  // The rows of `sql`, each as its columns' texts joined by "|", null as "<null>".
  std::vector<std::string> Rows(const std::string& sql);
  // Appends a subscriber row as another program would.
  void Subscribe(const std::string& name, const std::string& email);
  // Name and E-Mail of each MailingList row, in list order.
  std::vector<std::string> Subscribers();
  // Subscribers named a@x.test, b@x.test, ... in list order.
  void SubscribeLetters(int count);

  // The recipients (RCPT TO) of each message the peer received, joined by " ".
  std::vector<std::string> RecipientsPerMessage();
  // Writes `content` to the file `name` in the temporary folder; its path.
  QString WriteFile(const QString& name, const QByteArray& content);
  QByteArray ReadFile(const QString& path);

  // Makes the editor send text (UseText) with this subject and body.
  void EditText(const QString& subject, const QString& text);
  // Makes the editor send the file `path`, raw (with its own headers) or as the body.
  void EditFile(const QString& path, bool raw);
  // Names a server that refuses connections in the Setup page.
  void UnreachableServer();

  // Points the runtime at an empty registry, and back at the mailer's.
  void UnregisterMailer();
  void RestoreMailer();

  std::unique_ptr<ScriptedSmtpPeer> peer_;
  QTemporaryDir dir_;
  std::unique_ptr<QSettings> settings_;
  RecordingDialogs dialogs_;
  std::unique_ptr<ConsoleWindow> window_;
  std::unique_ptr<ListOperations> operations_;
  std::string data_source_;

 private:
  size_t seen_messages_ = 0;
};

}  // namespace verdanpost::testing_support

#endif  // VERDANPOST_CONSOLE_DISPATCH_OPERATIONS_TEST_SUPPORT_H_
