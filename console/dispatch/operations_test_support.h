#ifndef VERDANPOST_CONSOLE_DISPATCH_OPERATIONS_TEST_SUPPORT_H_
#define VERDANPOST_CONSOLE_DISPATCH_OPERATIONS_TEST_SUPPORT_H_

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QByteArray>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "console/dispatch/fake_mailer_test_support.h"
#include "console/dispatch/list_operations.h"
#include "console/dispatch/mailer_client.h"
#include "console/dispatch/scripted_progress_test_support.h"
#include "console/window/console_window.h"
#include "console/window/multi_line_text_box.h"
#include "console/window/recording_dialogs_test_support.h"
#include "testing/scripted_smtp_peer.h"

namespace verdanpost::testing_support {

// What the box says of UnreachableServer(): the server and the reason
// follow the code where the mailer tells them.
inline constexpr char kRefusedConnection[] =
    "Could not connect to server( 127\\.0\\.0\\.1:1)? \\(6\\)(: Connection refused)?";
// Whether `text` is the question asked before a bulk send goes out.
bool IsBulkSendQuestion(const QString& text);

// "vestro" on a fresh SQLite file holding the two list tables, with steps
// that write and read it as another program would.
class ListDatabaseTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;

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
  // Makes the list one that an older version made: rows may share an address.
  void DropUniqueAddressIndex();
  // The path of the latest bulk send's record.
  QString LatestSendRecord() const;
  // What a bulk send's box adds when `unreached` subscribers missed the
  // message: the latest record's name and the question.
  QString FollowUp(int unreached) const;

  QTemporaryDir dir_;
  std::string data_source_;
  NoRetries no_retries_;
};

// The console window with its real operations, end to end: the mailer
// library registered in a temporary registry and created by ProgID, the list
// database, and a scripted SMTP peer on loopback named in the Setup page.
// Steps and checks are helpers so that each test reads as a scenario.
class OperationsTest : public ListDatabaseTest {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;
  void TearDown() override;

  // Presses the button `name` ("Add", "Delete", "SendMessage"). For
  // SendMessage the question before the send is answered Yes and kept in
  // send_question_, out of dialogs_.messages and dialogs_.questions.
  void Click(const char* name);
  // The one message box shown since the last call; a failure when there was
  // not exactly one.
  QString OnlyMessage();

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
  std::unique_ptr<QSettings> settings_;
  RecordingDialogs dialogs_;
  std::unique_ptr<ConsoleWindow> window_;
  ProgIdMailerFactory mailers_;
  std::unique_ptr<ListOperations> operations_;
  QString send_question_;  // the question of the last SendMessage

 private:
  size_t seen_messages_ = 0;
};

// The window's side of the operations, scripted: the pages' texts and the
// send inputs are fields; a tab opened loads its definition from `tabs`, as
// the settings store would. Opened tabs and shown messages go to *log too,
// as "tab N", "show TEXT" and "ask TEXT". A send runs on a thread of its
// own, as the window runs it. *log must outlive the view.
class FakeOperationsView : public OperationsView {
 public:
  explicit FakeOperationsView(QStringList* log) : log_(log) {}

  AddPageInputs AddInputs() const override { return add; }
  RemovePageInputs RemoveInputs() const override { return remove; }
  SendInputs CurrentSendInputs() const override {
    ++send_input_reads;
    return send;
  }
  void OpenMessageTab(int tab) override;
  void ShowMessage(const QString& text) override;
  bool AskMessage(const QString& text) override;
  // Asked apart from `messages`, answered from `kept_answers` (No when none
  // is left).
  KeptSendChoice AskKeptSend(const QString& text) override {
    kept_questions.push_back(text);
    if (kept_answers.empty()) return KeptSendChoice::kLater;
    const KeptSendChoice choice = kept_answers.front();
    kept_answers.pop_front();
    return choice;
  }
  void RunSend(const ProgressingSend& send) override;

  AddPageInputs add;
  RemovePageInputs remove;
  SendInputs send;
  std::map<int, MessageDefinition> tabs;  // by 1-based position
  int tab = 1;                            // the tab the editor shows
  std::vector<QString> messages;          // shown and asked
  mutable int send_input_reads = 0;
  // Answers to the next questions, in order (No when none is left).
  std::deque<bool> answers;
  // For each send that starts a message, in turn: Cancel once this message
  // has started (0: never). The read of the list before the question starts
  // none.
  std::deque<int> cancel_at;
  std::vector<QString> kept_questions;
  std::deque<KeptSendChoice> kept_answers;
  // What each send reported, one "N/M reached R" per message started.
  QStringList progress;

 private:
  QStringList* log_;
};

// The operations on the list database with a scripted view and mailer: what
// they send, show and write, in order, without a window or a server.
class FakeOperationsTest : public ListDatabaseTest {
 protected:
  void SetUp() override;

  // Runs the click and returns its one message box; a failure when there
  // was not exactly one. SendMessage answers the question before the send
  // Yes (kept in send_question_) and returns the box after it.
  QString Add();
  QString Delete();
  QString SendMessage();
  // Makes every send record how many subscribers the list then held.
  void LogSubscribersAtSend();

  QStringList log_;
  FakeOperationsView view_{&log_};
  ScriptedMailerFactory mailers_{&log_};
  std::unique_ptr<ListOperations> operations_;
  QString send_question_;  // the question of the last SendMessage()

 private:
  QString OnlyMessage(void (ListOperations::*click)());
};

}  // namespace verdanpost::testing_support

#endif  // VERDANPOST_CONSOLE_DISPATCH_OPERATIONS_TEST_SUPPORT_H_
