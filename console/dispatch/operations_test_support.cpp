#include "console/dispatch/operations_test_support.h"

#include <algorithm>

#include <dlfcn.h>

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <cstdlib>
#include <optional>
#include <thread>
#include <utility>

#include "console/dispatch/scripted_progress_test_support.h"
#include "console/dispatch/send_record.h"
#include "console/mailinglist/list_database.h"
#include "console/mailinglist/list_schema.h"
#include "console/window/test_application_test_support.h"
#include "platform/database/connection.h"
#include "platform/database/database_test_support.h"
#include "platform/database/statement.h"

namespace verdanpost::testing_support {

namespace {

std::string BuildDir() {
  const char* dir = std::getenv("VERDANPOST_BUILD_DIR");
  return dir != nullptr ? dir : ".";
}

// The registry the mailer is registered in, for the whole test program.
std::string& RegistryPath() {
  static std::string path;
  return path;
}

}  // namespace

void ListDatabaseTest::SetUpTestSuite() {
  // The driver manager unloads the SQLite driver and its installer library
  // when they fall idle; kept loaded, what they leak is reported under their
  // names, which the sanitizer's suppressions know.
  for (const char* library :
       {"/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so", "libodbcinst.so.2"}) {
    dlopen(library, RTLD_NOW | RTLD_NODELETE);
  }
}

void ListDatabaseTest::SetUp() {
  ASSERT_TRUE(dir_.isValid());
  // The records of bulk sends land here, not in the user's own folder.
  setenv("XDG_DATA_HOME", dir_.filePath("data").toStdString().c_str(), 1);
  std::string why;
  data_source_ =
      database::test_support::UseEmptyDataSource(database::test_support::Backend::kSQLite, &why);
  ASSERT_EQ(data_source_, "vestro") << why;
  mailinglist::ListConnection list;
  database::Status status = list.Open(data_source_);
  if (status.ok()) status = mailinglist::CreateTables(list.get());
  ASSERT_TRUE(status.ok()) << status.message();
  list.Close();
}

void OperationsTest::SetUpTestSuite() {
  ListDatabaseTest::SetUpTestSuite();
  EnsureTestApplication();
  if (!RegistryPath().empty()) return;
  static QTemporaryDir registry_dir;
  RegistryPath() = registry_dir.filePath("classes-root.reg").toStdString();
  setenv("AUTOMATION_REGISTRY", RegistryPath().c_str(), 1);
  const std::string command =
      BuildDir() + "/bin/autoreg " + BuildDir() + "/lib/libverdanpost.so >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

void OperationsTest::SetUp() {
  ListDatabaseTest::SetUp();
  if (HasFatalFailure()) return;
  RestoreMailer();

  peer_ = std::make_unique<ScriptedSmtpPeer>();
  settings_ = std::make_unique<QSettings>(dir_.filePath("settings.ini"), QSettings::IniFormat);
  window_ = std::make_unique<ConsoleWindow>(*settings_, dialogs_);
  operations_ = std::make_unique<ListOperations>(*window_, mailers_, data_source_);
  window_->SetOperations(operations_.get());

  SetupSettings setup;
  setup.FromName = "List Desk";
  setup.FromEmail = "desk@list.test";
  setup.ToName = "Owen Owner";
  setup.ToEmail = "owner@list.test";
  setup.SMTPServer = QString::fromStdString(peer_->server_name());
  setup.LimitRecipientsPerMessage = kUnchecked;
  setup.CopyMessages = kUnchecked;
  window_->SetSetupValues(setup);
}

void OperationsTest::TearDown() {
  if (window_ != nullptr) window_->SetOperations(nullptr);
  operations_.reset();
  window_.reset();
  settings_.reset();
  peer_.reset();
}

void OperationsTest::Click(const char* name) {
  auto* button = window_->findChild<QAbstractButton*>(QLatin1String(name));
  ASSERT_NE(button, nullptr) << name;
  const bool bulk_send = qstrcmp(name, "SendMessage") == 0;
  const size_t asked_before = dialogs_.questions.size();
  if (bulk_send) dialogs_.answers.push_front(true);
  button->click();
  if (!bulk_send) return;
  // Yes to the question before the send; the tests look at what follows.
  if (dialogs_.questions.size() > asked_before &&
      IsBulkSendQuestion(dialogs_.questions[asked_before])) {
    send_question_ = dialogs_.questions[asked_before];
    dialogs_.questions.erase(dialogs_.questions.begin() + static_cast<long>(asked_before));
    const auto shown = std::find(dialogs_.messages.begin() + static_cast<long>(seen_messages_),
                                 dialogs_.messages.end(), send_question_);
    if (shown != dialogs_.messages.end()) dialogs_.messages.erase(shown);
  } else {
    dialogs_.answers.pop_front();
  }
}

QString OperationsTest::OnlyMessage() {
  const std::vector<QString>& messages = dialogs_.messages;
  const size_t shown = messages.size() - seen_messages_;
  seen_messages_ = messages.size();
  EXPECT_EQ(shown, 1u) << "message boxes shown";
  return shown == 0 ? QString() : messages.back();
}

void ListDatabaseTest::Sql(const std::string& sql) {
  database::test_support::Execute(data_source_, sql);
}

std::vector<std::string> ListDatabaseTest::Rows(const std::string& sql) {
  std::vector<std::string> rows;
  database::Connection connection;
  database::Status status = connection.Open(data_source_);
  EXPECT_TRUE(status.ok()) << status.message();
  database::Statement statement;
  status = statement.Execute(connection.handle(), sql, {});
  EXPECT_TRUE(status.ok()) << sql << ": " << status.message();
  std::vector<std::string> names;
  std::vector<SQLSMALLINT> types;
  EXPECT_TRUE(statement.Describe(&names, &types).ok());
  bool has_row = false;
  while (statement.Fetch(&has_row).ok() && has_row) {
    std::string row;
    for (size_t i = 0; i < names.size(); ++i) {
      std::optional<std::string> value;
      EXPECT_TRUE(statement.GetText(static_cast<SQLUSMALLINT>(i + 1), &value).ok());
      row += (i == 0 ? "" : "|") + value.value_or("<null>");
    }
    rows.push_back(row);
  }
  return rows;
}

std::vector<std::string> ListDatabaseTest::Subscribers() {
  return Rows("SELECT Name, \"E-Mail\" FROM MailingList ORDER BY ID");
}

void ListDatabaseTest::Subscribe(const std::string& name, const std::string& email) {
  Sql("INSERT INTO MailingList (Name, \"E-Mail\", MailingAddress, BraSize, DateCreated, "
      "IPAddress) VALUES ('" +
      name + "', '" + email +
      "', 'Street 1', 0, '2026-01-02 03:04:05', "
      "'10.0.0.9')");
}

void ListDatabaseTest::DropUniqueAddressIndex() { Sql("DROP INDEX \"MailingList_E-Mail_unique\""); }

void ListDatabaseTest::SubscribeLetters(int count) {
  for (int i = 0; i < count; ++i) {
    const std::string letter(1, static_cast<char>('a' + i));
    Subscribe(letter, letter + "@x.test");
  }
}

QString ListDatabaseTest::LatestSendRecord() const {
  const QDir folder(SendRecordFolder());
  const QStringList names = folder.entryList({"*.csv"}, QDir::Files, QDir::Name);
  return names.isEmpty() ? QString() : folder.filePath(names.back());
}

QString ListDatabaseTest::FollowUp(int unreached) const {
  return '\n' + SendRecordNamed(LatestSendRecord()) + "\n\n" + SendToUnreached(unreached);
}

std::vector<std::string> OperationsTest::RecipientsPerMessage() {
  std::vector<std::string> messages;
  for (const std::string& command : peer_->commands()) {
    if (command.starts_with("MAIL FROM:")) {
      messages.emplace_back();
    } else if (command.starts_with("RCPT TO:") && !messages.empty()) {
      std::string address = command.substr(8);
      if (address.size() >= 2 && address.front() == '<' && address.back() == '>') {
        address = address.substr(1, address.size() - 2);
      }
      messages.back() += (messages.back().empty() ? "" : " ") + address;
    }
  }
  return messages;
}

QString OperationsTest::WriteFile(const QString& name, const QByteArray& content) {
  const QString path = dir_.filePath(name);
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(content);
  return path;
}

QByteArray OperationsTest::ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

void OperationsTest::EditText(const QString& subject, const QString& text) {
  MessageDefinition message = window_->EditorDefinition();
  message.UseFile = false;
  message.UseText = true;
  message.Subject = subject;
  message.MessageText = text;
  window_->SetEditorDefinition(message);
}

void OperationsTest::EditFile(const QString& path, bool raw) {
  MessageDefinition message = window_->EditorDefinition();
  message.UseFile = true;
  message.UseText = false;
  message.FileName = path;
  message.SendRaw = raw ? kChecked : kUnchecked;
  message.Subject = "File subject";
  window_->SetEditorDefinition(message);
}

void OperationsTest::UnreachableServer() {
  window_->setup_page().smtp_server()->setText("127.0.0.1:1");
}

void OperationsTest::UnregisterMailer() {
  setenv("AUTOMATION_REGISTRY", dir_.filePath("empty.reg").toStdString().c_str(), 1);
}

void OperationsTest::RestoreMailer() { setenv("AUTOMATION_REGISTRY", RegistryPath().c_str(), 1); }

void FakeOperationsView::OpenMessageTab(int position) {
  log_->append(QString("tab %1").arg(position));
  if (position == tab) return;
  tab = position;
  send.message = tabs[position];
}

void FakeOperationsView::ShowMessage(const QString& text) {
  messages.push_back(text);
  log_->append("show " + text);
}

bool FakeOperationsView::AskMessage(const QString& text) {
  messages.push_back(text);
  log_->append("ask " + text);
  if (answers.empty()) return false;
  const bool yes = answers.front();
  answers.pop_front();
  return yes;
}

void FakeOperationsView::RunSend(const ProgressingSend& run) {
  // A run that sends no message (the list read before the question) leaves
  // the Cancel scripted for the next.
  const int cancel = cancel_at.empty() ? 0 : cancel_at.front();
  const qsizetype started_before = progress.size();
  ScriptedProgress scripted(&progress, cancel);
  std::thread thread([&] { run(scripted); });
  thread.join();
  if (progress.size() > started_before && !cancel_at.empty()) cancel_at.pop_front();
}

void FakeOperationsTest::SetUp() {
  ListDatabaseTest::SetUp();
  operations_ = std::make_unique<ListOperations>(view_, mailers_, data_source_);
  SetupSettings& setup = view_.send.setup;
  setup.FromName = "List Desk";
  setup.FromEmail = "desk@list.test";
  setup.ToName = "Owen Owner";
  setup.ToEmail = "owner@list.test";
  setup.SMTPServer = "mail.test";
  setup.LimitRecipientsPerMessage = kUnchecked;
  setup.CopyMessages = kUnchecked;
  view_.send.message.UseFile = false;
  view_.send.message.UseText = true;
  view_.send.message.Subject = "News";
  view_.send.message.MessageText = "Hello, list";
  for (const auto& [tab, subject] : {std::pair{2, "Welcome"}, std::pair{3, "Farewell"}}) {
    MessageDefinition& definition = view_.tabs[tab];
    definition.UseFile = false;
    definition.UseText = true;
    definition.Subject = subject;
    definition.MessageText = "Text";
  }
}

QString FakeOperationsTest::Add() { return OnlyMessage(&ListOperations::Add_Click); }

QString FakeOperationsTest::Delete() { return OnlyMessage(&ListOperations::Delete_Click); }

QString FakeOperationsTest::SendMessage() {
  // Yes to the question before the send; a send refused before it is asked
  // leaves the answer unused.
  view_.answers.push_front(true);
  const size_t before = view_.messages.size();
  operations_->SendMessage_Click();
  const bool asked = view_.messages.size() > before && IsBulkSendQuestion(view_.messages[before]);
  if (asked) {
    send_question_ = view_.messages[before];
  } else {
    view_.answers.pop_front();
  }
  const size_t shown = view_.messages.size() - before - (asked ? 1 : 0);
  EXPECT_EQ(shown, 1u) << "message boxes shown after the question";
  return shown == 0 ? QString() : view_.messages.back();
}

bool IsBulkSendQuestion(const QString& text) {
  return text.startsWith(QLatin1String("Send \"")) && text.endsWith('?') && !text.contains('\n');
}

QString FakeOperationsTest::OnlyMessage(void (ListOperations::*click)()) {
  const size_t before = view_.messages.size();
  ((*operations_).*click)();
  EXPECT_EQ(view_.messages.size() - before, 1u) << "message boxes shown";
  return view_.messages.size() == before ? QString() : view_.messages.back();
}

void FakeOperationsTest::LogSubscribersAtSend() {
  mailers_.on_send = [this] { log_.append(QString("subscribers %1").arg(Subscribers().size())); };
}

}  // namespace verdanpost::testing_support
