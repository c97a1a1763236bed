// The console's Import..., Export... and Subscribers... commands on an SQLite
// list, with a scripted view, dialogs and mailer; the subscribers window and
// the buttons also through their widgets (offscreen, and once more on an X
// server of their own).
#include "console/window/list_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <fstream>

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "console/dispatch/operations_test_support.h"
#include "console/mailinglist/list_schema.h"
#include "console/mailinglist/list_test_support.h"
#include "console/window/console_window.h"
#include "console/window/list_command_buttons.h"
#include "console/window/recording_dialogs_test_support.h"
#include "console/window/test_application_test_support.h"
#include "console/window/transfer_file_dialogs.h"
#include "console/window/twips.h"
#include "platform/database/database_test_support.h"

namespace verdanpost {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class ScriptedTransferDialogs : public TransferDialogs {
 public:
  std::optional<ImportRequest> ChooseImportFile() override { return import; }
  std::optional<ExportRequest> ChooseExportFile() override { return export_request; }
  bool ImportProgress(int64_t done, int64_t rows) override {
    progress.push_back(QString("%1/%2").arg(done).arg(rows));
    return true;
  }
  void ImportEnded() override { progress.push_back("ended"); }

  std::optional<ImportRequest> import;
  std::optional<ExportRequest> export_request;
  QStringList progress;
};

class ListCommandsTest : public testing_support::FakeOperationsTest {
 protected:
  static void SetUpTestSuite() {
    FakeOperationsTest::SetUpTestSuite();
    testing_support::EnsureTestApplication();
  }

  void SetUp() override {
    FakeOperationsTest::SetUp();
    if (HasFatalFailure()) return;
    view_.tabs[2].UseText = true;
    view_.tabs[2].UseFile = false;
    view_.tabs[2].Subject = "Welcome";
    view_.tabs[3].UseText = true;
    view_.tabs[3].UseFile = false;
    view_.tabs[3].Subject = "Goodbye";
    commands_ = std::make_unique<ListCommands>(parent_, view_, dialogs_, mailers_, data_source_);
  }

  QString WriteCsv(const char* name, const std::string& text) {
    const QString path = dir_.filePath(name);
    std::ofstream(path.toStdString(), std::ios::binary) << text;
    return path;
  }

  // The recipient of each greeting or farewell the scripted mailer sent.
  QStringList SentTo() const {
    QStringList to;
    for (const QString& call : log_) {
      if (call.startsWith("SendMessage|")) to << call.split('|')[2];
    }
    return to;
  }

  QWidget parent_;
  ScriptedTransferDialogs dialogs_;
  std::unique_ptr<ListCommands> commands_;
};

TEST_F(ListCommandsTest, ImportGreetsThroughOneMailerAndAddsOnlyTheGreeted) {
  Subscribe("Old", "old@x.test");
  dialogs_.import = ImportRequest{
      WriteCsv("in.csv", "Name;E-Mail\nAnn;ann@x.test\nBo;bo@x.test\nOld;OLD@x.test\nCy;cy\n"),
      true};
  mailers_.outcomes = {{0, ""}, {5, "Recipient refused"}};
  commands_->Import_Click();

  // The greeting as Add sends it, through the one mailer made for the import.
  EXPECT_EQ(log_.count("Create"), 1);
  EXPECT_EQ(log_.indexOf("tab 2"), 0);
  EXPECT_THAT(SentTo(), ElementsAre("\"Ann\" <ann@x.test>", "\"Bo\" <bo@x.test>"));
  EXPECT_THAT(Subscribers(), ElementsAre("Old|old@x.test", "Ann|ann@x.test"));
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0],
            "1 subscriber added; 1 duplicate and 1 invalid row skipped\n"
            "1 subscriber was not added: the greeting was not sent.\n"
            "The skipped rows are listed in \"" +
                dialogs_.import->path + ".skipped.csv\".");
  EXPECT_THAT(dialogs_.progress, ElementsAre("4/4", "ended"));
}

TEST_F(ListCommandsTest, ImportRefusalsAndCancelledPickers) {
  {
    // Cancelled pickers do nothing at all.
    commands_->Import_Click();
    commands_->Export_Click();
    EXPECT_TRUE(log_.isEmpty());
  }
  {
    dialogs_.import = ImportRequest{WriteCsv("bad.csv", "Mail\nann@x.test\n"), false};
    commands_->Import_Click();
    ASSERT_EQ(view_.messages.size(), 1u);
    EXPECT_EQ(view_.messages.back(), "\"" + dialogs_.import->path +
                                         "\" has no E-Mail column in its first line. Nobody was "
                                         "added.");
  }
  {
    dialogs_.import = ImportRequest{WriteCsv("in.csv", "E-Mail\nann@x.test\n"), true};
    mailers_.create_error = "no such class";
    commands_->Import_Click();
    EXPECT_EQ(view_.messages.back(), "No greeting can be sent, so nobody was added: no such class");
  }
  EXPECT_TRUE(Subscribers().empty());
}

TEST_F(ListCommandsTest, ExportWritesTheListOrTheRemovals) {
  Subscribe("Ann", "ann@x.test");
  Subscribe("Bo", "bo@x.test");
  dialogs_.export_request = ExportRequest{dir_.filePath("out.csv"), false, false};
  commands_->Export_Click();
  EXPECT_EQ(view_.messages.back(),
            "2 subscribers exported to \"" + dialogs_.export_request->path + "\".");
  std::ifstream in(dialogs_.export_request->path.toStdString());
  std::string header;
  std::getline(in, header);
  EXPECT_EQ(header, "ID,Name,E-Mail,MailingAddress,BraSize,DateCreated,IPAddress\r");

  dialogs_.export_request->removed = true;
  commands_->Export_Click();
  EXPECT_EQ(view_.messages.back(),
            "0 removals exported to \"" + dialogs_.export_request->path + "\".");
}

// The table the subscribers window shows, read in pages.
class SubscriberTableTest : public ListCommandsTest {
 protected:
  void SetUp() override {
    ListCommandsTest::SetUp();
    if (HasFatalFailure()) return;
    SubscribeLetters(3);  // a@x.test, b@x.test, c@x.test
    Sql("INSERT INTO MailingList (Name, \"E-Mail\", DateCreated) "
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 447) "
        "SELECT 'Many ' || i, 'many' || i || '@y.test', '2020' FROM n");
    table_ = std::make_unique<SubscriberTable>(view_, mailers_, data_source_);
    table_->Refresh();
  }

  QString Cell(int row, int column) const {
    return table_->data(table_->index(row, column)).toString();
  }

  std::unique_ptr<SubscriberTable> table_;
};

TEST_F(SubscriberTableTest, CountsPagesAndRefresh) {
  EXPECT_EQ(table_->CountText(), "450 subscribers");
  ASSERT_EQ(table_->rowCount(), 450);
  EXPECT_EQ(table_->headerData(1, Qt::Horizontal).toString(), "E-Mail");
  EXPECT_EQ(Cell(449, 1), "many447@y.test");  // the third page
  EXPECT_EQ(Cell(205, 0), "Many 203");
  table_->SetFilter("MANY44");
  EXPECT_EQ(table_->CountText(), "9 of 450 subscribers");  // 44, 440 to 447

  // A change made elsewhere shows on a refresh.
  Subscribe("Zed", "many4400@x.test");
  EXPECT_EQ(table_->rowCount(), 9);
  table_->Refresh();
  EXPECT_EQ(table_->CountText(), "10 of 451 subscribers");
}

TEST_F(SubscriberTableTest, RemoveGoesThroughDeleteForEachRow) {
  table_->SetFilter("@x.test");
  {
    view_.answers = {false};
    table_->Remove({0, 2});
    EXPECT_EQ(view_.messages.back(),
              "Remove 2 subscribers from the list and send each of them the farewell?");
    EXPECT_EQ(table_->rowCount(), 3);
  }
  view_.answers = {true};
  mailers_.outcomes = {{0, ""}, {6, "Could not connect to server"}};
  table_->Remove({0, 2});
  EXPECT_THAT(SentTo(), ElementsAre("\"a\" <a@x.test>", "\"c\" <c@x.test>"));
  EXPECT_EQ(view_.messages.back(),
            "a@x.test: User removed and message sent :-)!\n"
            "c@x.test: Could not connect to server (6)\nUser removed anyway");
  EXPECT_EQ(table_->CountText(), "1 of 448 subscribers");
  EXPECT_THAT(Rows("SELECT DeleterName, \"E-Mail\" FROM DeletedList"),
              ElementsAre("a|a@x.test", "c|c@x.test"));
}

// The table's own statements (filter, order, pages) on each back end.
class SubscriberTableBackendTest
    : public ::testing::TestWithParam<database::test_support::Backend> {};

TEST_P(SubscriberTableBackendTest, FilterSortAndPages) {
  std::string why;
  const std::string source = database::test_support::UseEmptyDataSource(GetParam(), &why);
  ASSERT_FALSE(source.empty()) << why;
  ASSERT_TRUE(mailinglist::CreateTables(source).ok());
  database::test_support::Execute(
      source,
      "INSERT INTO \"MailingList\" (\"Name\", \"E-Mail\") "
      "SELECT 'Ann ' || i, 'ann' || i || '@X.test' FROM (SELECT 1 AS i UNION ALL SELECT 2) AS a");
  database::test_support::Execute(
      source,
      "INSERT INTO \"MailingList\" (\"Name\", \"E-Mail\") "
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 248) "
      "SELECT 'Bo_' || i, 'bo' || i || '@y.test' FROM n");
  QStringList log;
  testing_support::FakeOperationsView view(&log);
  testing_support::ScriptedMailerFactory mailers(&log);
  SubscriberTable table(view, mailers, source);
  table.Refresh();
  ASSERT_EQ(table.CountText(), "250 subscribers");
  EXPECT_EQ(table.Field(249, "E-Mail"), "bo248@y.test");  // the second page
  table.SetFilter("aNN");
  EXPECT_EQ(table.CountText(), "2 of 250 subscribers");
  table.SetFilter("x.TEST");
  EXPECT_EQ(table.rowCount(), 2);
  table.sort(1, Qt::DescendingOrder);
  EXPECT_EQ(table.Field(0, "E-Mail"), "ann2@X.test");
  table.SetFilter("b_1");  // "_" is no wildcard
  EXPECT_EQ(table.rowCount(), 0);
  table.SetFilter("Bo_1");
  ASSERT_EQ(table.rowCount(), 111);  // 1, 10 to 19, 100 to 199
  // Whatever the database's collation, the two orders mirror each other.
  const QString last = table.Field(110, "E-Mail");
  table.sort(1, Qt::AscendingOrder);
  EXPECT_EQ(table.Field(0, "E-Mail"), last);
}

INSTANTIATE_TEST_SUITE_P(Backends, SubscriberTableBackendTest,
                         ::testing::Values(database::test_support::Backend::kSQLite,
                                           database::test_support::Backend::kPostgreSQL),
                         testing_support::BackendTestName);

// The window and the console's buttons, through their widgets.
class SubscribersWindowTest : public SubscriberTableTest {
 protected:
  void WaitUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 5000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
  }

  template <typename W>
  W* Find(QWidget& in, const char* name) {
    W* widget = in.findChild<W*>(QLatin1String(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
};

TEST_F(SubscribersWindowTest, FilterAsTypedAndRemoveSelected) {
  commands_->Subscribers_Click();
  SubscribersWindow& window = *commands_->subscribers_window();
  WaitUntil([&window] { return window.isVisible(); });
  auto* count = Find<QLabel>(window, "SubscribersCount");
  auto* table = Find<QTableView>(window, "SubscribersTable");
  EXPECT_EQ(count->text(), "450 subscribers");

  auto* filter = Find<QLineEdit>(window, "SubscribersFilter");
  QTest::keyClicks(filter, "b@x");
  EXPECT_EQ(count->text(), "1 of 450 subscribers");
  ASSERT_EQ(table->model()->rowCount(), 1);
  EXPECT_EQ(table->model()->index(0, 1).data().toString(), "b@x.test");

  table->selectRow(0);
  view_.answers = {true};
  QTest::mouseClick(Find<QPushButton>(window, "SubscribersRemove"), Qt::LeftButton);
  EXPECT_EQ(view_.messages.back(), "User removed and message sent :-)!");
  EXPECT_EQ(count->text(), "0 of 449 subscribers");

  // F5 shows a subscriber added meanwhile. A shortcut needs its window active.
  window.activateWindow();
  WaitUntil([&window] { return QApplication::activeWindow() == &window; });
  Subscribe("Bea", "b@x.test");
  QTest::keyClick(table, Qt::Key_F5);
  EXPECT_EQ(count->text(), "1 of 450 subscribers");
}

TEST_F(SubscribersWindowTest, ButtonsJoinThePagesWithoutMovingAnything) {
  testing_support::RecordingDialogs dialogs;
  QSettings settings(dir_.filePath("settings.ini"), QSettings::IniFormat);
  ConsoleWindow console(settings, dialogs);
  const QRect add = Find<QWidget>(console, "Add")->geometry();
  const ListCommandButtons buttons = AddListCommandButtons(console);
  ConnectListCommandButtons(buttons, *commands_);
  EXPECT_EQ(Find<QWidget>(console, "Add")->geometry(), add);
  EXPECT_EQ(buttons.import->parentWidget()->objectName(), "Frame(0)");
  EXPECT_EQ(buttons.export_list->parentWidget()->objectName(), "Frame(1)");
  EXPECT_EQ(buttons.subscribers->geometry(), TwipsRect(4320, 1680, 1335, 375));
  // In the focus order right after the page's own buttons.
  EXPECT_EQ(Find<QWidget>(console, "Add")->nextInFocusChain(), buttons.import);
  EXPECT_EQ(Find<QWidget>(console, "Delete")->nextInFocusChain(), buttons.subscribers);
  EXPECT_EQ(buttons.subscribers->nextInFocusChain(), buttons.export_list);

  console.show();
  WaitUntil([&console] { return console.windowHandle()->isExposed(); });
  console.SelectMainTab(2);
  // The access key of a shown page's button clicks it.
  QTest::keyClick(&console, Qt::Key_U, Qt::AltModifier);
  WaitUntil([this] { return commands_->subscribers_window() != nullptr; });
  ASSERT_NE(commands_->subscribers_window(), nullptr);
  EXPECT_TRUE(commands_->subscribers_window()->isVisible());
  commands_.reset();  // closes the subscribers window before the console
}

// Import with the greeting end to end: the mailer created by ProgID, the
// greetings at a scripted SMTP peer.
class ImportGreetingTest : public testing_support::OperationsTest {};

TEST_F(ImportGreetingTest, GreetingsShareOneSession) {
  settings_->setValue("Addition/UseFile", "False");
  settings_->setValue("Addition/UseText", "True");
  settings_->setValue("Addition/Subject", "Welcome");
  settings_->setValue("Addition/MessageText", "Glad to have you");
  const QString path = dir_.filePath("in.csv");
  std::ofstream(path.toStdString()) << "Name,E-Mail\nAnn,ann@x.test\nBo,bo@x.test\nCy,cy@x.test\n";
  ScriptedTransferDialogs dialogs;
  dialogs.import = ImportRequest{path, true};
  ListCommands commands(*window_, *window_, dialogs, mailers_, data_source_);
  commands.Import_Click();
  EXPECT_EQ(OnlyMessage(), "3 subscribers added; 0 duplicates and 0 invalid rows skipped");
  EXPECT_EQ(window_->CurrentMessageTab(), 2);
  EXPECT_THAT(RecipientsPerMessage(), ElementsAre("ann@x.test", "bo@x.test", "cy@x.test"));
  EXPECT_EQ(peer_->connections(), 1);
  EXPECT_THAT(peer_->received_messages()[1], HasSubstr("Subject: Welcome\r\n"));
  EXPECT_EQ(Subscribers().size(), 3u);
}

// The real pickers, answered by hand once they are open.
class TransferFileDialogsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing_support::EnsureTestApplication(); }

  // Runs |act| on the picker as soon as it is the modal window.
  void AnswerPicker(std::function<void(QFileDialog&)> act) {
    auto* timer = new QTimer(&parent_);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr || !dialog->isVisible()) return;
      timer->stop();
      act(*dialog);
      timer->deleteLater();
      // A picker that did not close on its answer must not hang the test.
      QTimer::singleShot(3000, dialog, [dialog] {
        ADD_FAILURE() << "the picker stayed open";
        dialog->reject();
      });
    });
    timer->start(20);
  }

  // Types |path| into the picker, as the operator would: choosing it from
  // code would wait for the picker's folder listing, which loads later.
  static void Type(QFileDialog& dialog, const QString& path) {
    dialog.setDirectory(QFileInfo(path).absolutePath());
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(QFileInfo(path).fileName());
  }

  static void Check(QFileDialog& dialog, const QString& caption) {
    for (QCheckBox* box : dialog.findChildren<QCheckBox*>()) {
      if (box->text() == caption) return box->setChecked(true);
    }
    ADD_FAILURE() << "no check box " << caption.toStdString();
  }

  QTemporaryDir dir_;
  QWidget parent_;
  QtTransferDialogs dialogs_{&parent_};
};

TEST_F(TransferFileDialogsTest, PickersCarryTheirChoices) {
  const QString csv = dir_.filePath("people.csv");
  std::ofstream(csv.toStdString()) << "E-Mail\n";
  {
    AnswerPicker([&csv](QFileDialog& dialog) {
      EXPECT_EQ(dialog.windowTitle(), "Import Subscribers");
      EXPECT_EQ(dialog.nameFilters().first(), "CSV Files (*.csv)");
      Check(dialog, "Send the &greeting to each subscriber added");
      Type(dialog, csv);
      static_cast<QDialog&>(dialog).accept();  // as the Open or Save button does
    });
    const std::optional<ImportRequest> request = dialogs_.ChooseImportFile();
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->path, csv);
    EXPECT_TRUE(request->greet);
  }
  {
    AnswerPicker([this](QFileDialog& dialog) {
      Check(dialog, "Export the &removed subscribers (the removal log)");
      Type(dialog, dir_.filePath("out"));
      static_cast<QDialog&>(dialog).accept();  // as the Open or Save button does
    });
    const std::optional<ExportRequest> request = dialogs_.ChooseExportFile();
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->path, dir_.filePath("out.csv"));  // the suffix added
    EXPECT_TRUE(request->removed);
    EXPECT_FALSE(request->for_spreadsheet);
  }
  {
    AnswerPicker([](QFileDialog& dialog) { dialog.reject(); });
    EXPECT_FALSE(dialogs_.ChooseImportFile().has_value());
  }
}

TEST_F(TransferFileDialogsTest, CancelStopsTheImport) {
  EXPECT_TRUE(dialogs_.ImportProgress(1000, 5000));
  auto* progress = parent_.findChild<QProgressDialog*>();
  ASSERT_NE(progress, nullptr);
  progress->cancel();
  EXPECT_FALSE(dialogs_.ImportProgress(2000, 5000));
  dialogs_.ImportEnded();
  QCoreApplication::processEvents();
  EXPECT_EQ(parent_.findChild<QProgressDialog*>(), nullptr);
}

}  // namespace
}  // namespace verdanpost
