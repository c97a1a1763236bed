#include "console/window/console_window.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTabBar>
#include <QTemporaryDir>
#include <QWindow>

#include <gtest/gtest.h>

#include "console/dispatch/console_operations.h"
#include "console/settings/settings_texts.h"
#include "console/window/multi_line_text_box.h"
#include "console/window/recording_dialogs_test_support.h"
#include "console/window/tab_strip.h"
#include "console/window/test_application_test_support.h"

namespace verdanpost {
namespace {

using testing_support::EnsureTestApplication;
using testing_support::RecordingDialogs;

// Records the order in which watched widgets are shown and hidden.
class VisibilityLog : public QObject {
 public:
  void Watch(QWidget* widget) { widget->installEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) events.push_back("show " + watched->objectName());
    if (event->type() == QEvent::Hide) events.push_back("hide " + watched->objectName());
    return false;
  }
  std::vector<QString> events;
};

class RecordingOperations : public ConsoleOperations {
 public:
  void Add_Click() override { calls.push_back("Add_Click"); }
  void Delete_Click() override { calls.push_back("Delete_Click"); }
  void SendMessage_Click() override { calls.push_back("SendMessage_Click"); }
  std::vector<std::string> calls;
};

class ConsoleWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureTestApplication();
    ASSERT_TRUE(dir_.isValid());
    path_ = dir_.filePath("Verdanpost Console.ini");
  }

  void TearDown() override {
    window_.reset();
    settings_.reset();
  }

  ConsoleWindow& Open() {
    settings_ = std::make_unique<QSettings>(path_, QSettings::IniFormat);
    window_ = std::make_unique<ConsoleWindow>(*settings_, dialogs_);
    window_->show();
    QCoreApplication::processEvents();  // what the window does once it is shown
    return *window_;
  }

  void Close() {
    window_->close();
    window_.reset();
    settings_.reset();
  }

  // Closes, then starts again on a copy of the file, so that the next run
  // reads the file itself rather than QSettings' in-process cache.
  ConsoleWindow& Reopen() {
    Close();
    const QString copy = dir_.filePath(QStringLiteral("run%1.ini").arg(++runs_));
    EXPECT_TRUE(QFile::copy(path_, copy));
    path_ = copy;
    return Open();
  }

  void WriteStore(const QByteArray& text) {
    QFile file(path_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  }

  // What another reader of the store finds.
  QStringList StoredSections() const {
    return QSettings(path_, QSettings::IniFormat).childGroups();
  }
  QStringList StoredKeys(const QString& section) const {
    QSettings settings(path_, QSettings::IniFormat);
    settings.beginGroup(section);
    return settings.childKeys();
  }
  QString Stored(const QString& section, const QString& key) const {
    return QSettings(path_, QSettings::IniFormat).value(section + "/" + key).toString();
  }

  template <typename W = QWidget>
  W* Control(const char* name) const {
    W* widget = window_->findChild<W*>(QLatin1String(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  bool Shown(const char* name) const { return Control(name)->isVisible(); }

  void EditMessage(const QString& subject) { window_->SetEditorDefinition(Edited(subject)); }

  // A definition unlike the defaults in every field.
  static MessageDefinition Edited(const QString& subject) {
    MessageDefinition d;
    d.UseFile = false;
    d.UseText = true;
    d.FileName = subject + ".eml";
    d.SendRaw = kUnchecked;
    d.Subject = subject;
    d.MessageText = subject + "\r\nsecond line";
    return d;
  }

  QTemporaryDir dir_;
  QString path_;
  int runs_ = 0;
  RecordingDialogs dialogs_;
  std::unique_ptr<QSettings> settings_;
  std::unique_ptr<ConsoleWindow> window_;
};

TEST_F(ConsoleWindowTest, FirstStartShowsTheDefaults) {
  ConsoleWindow& w = Open();
  EXPECT_EQ(w.objectName(), "VerdanpostConsole");
  EXPECT_EQ(w.windowTitle(), "Verdanpost Console (Beta2a)");
  EXPECT_EQ(w.size(), QSize(409, 337));
  EXPECT_EQ(w.minimumSize(), w.maximumSize());

  EXPECT_EQ(w.CurrentMainTab(), 1);
  EXPECT_EQ(w.CurrentMessageTab(), 1);
  EXPECT_TRUE(Shown("Frame(0)"));
  EXPECT_FALSE(Shown("Frame(1)"));
  EXPECT_FALSE(Shown("Frame(2)"));
  EXPECT_FALSE(Shown("Frame(3)"));
  QWidget* messages_page = Control("Frame(2)");
  EXPECT_TRUE(Control("MessagesFrame(0)")->isVisibleTo(messages_page));
  EXPECT_FALSE(Control("MessagesFrame(1)")->isVisibleTo(messages_page));
  EXPECT_FALSE(Control("MessagesFrame(2)")->isVisibleTo(messages_page));

  EXPECT_EQ(w.EditorDefinition(), MessageDefinition());
  EXPECT_TRUE(w.messages_page().use_file()->isChecked());
  EXPECT_FALSE(w.messages_page().use_text()->isChecked());
  EXPECT_EQ(CheckStateOf(*w.messages_page().send_raw()), kChecked);
  EXPECT_EQ(w.SetupValues(), SetupSettings());
  EXPECT_EQ(CheckStateOf(*w.setup_page().limit_recipients_per_message()), kUnchecked);
  EXPECT_EQ(CheckStateOf(*w.setup_page().copy_messages()), kChecked);
  EXPECT_EQ(w.add_page().Inputs().name, "");
  EXPECT_EQ(w.add_page().Inputs().email, "");
  EXPECT_EQ(w.add_page().Inputs().mailing_address, "");
  EXPECT_EQ(w.remove_page().Inputs().name, "");
  EXPECT_EQ(w.remove_page().Inputs().email, "");
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(ConsoleWindowTest, ControlsSitWhereTheLayoutPutsThem) {
  struct Placed {
    const char* name;
    const char* parent;
    const char* kind;
    const char* caption;           // nullptr: the control has none
    int left, top, width, height;  // twips
  };
  const Placed controls[] = {
      {"MyTabStrip", "VerdanpostConsole", "verdanpost::TabStrip", nullptr, 0, 120, 6135, 4935},
      {"Frame(0)", "VerdanpostConsole", "QFrame", nullptr, 120, 600, 5895, 4335},
      {"Frame(1)", "VerdanpostConsole", "QFrame", nullptr, 120, 480, 5895, 4455},
      {"Frame(2)", "VerdanpostConsole", "QFrame", nullptr, 120, 480, 5895, 4455},
      {"Frame(3)", "VerdanpostConsole", "QFrame", nullptr, 120, 480, 5895, 4455},
      {"AddNameLabel", "Frame(0)", "QLabel", "Name:", 120, 120, 1335, 255},
      {"AddName", "Frame(0)", "QLineEdit", nullptr, 1320, 120, 4335, 315},
      {"AddEMailLabel", "Frame(0)", "QLabel", "E-Mail Address:", 120, 600, 1335, 255},
      {"AddEMail", "Frame(0)", "QLineEdit", nullptr, 1320, 600, 4335, 315},
      {"AddMailingAddressLabel", "Frame(0)", "QLabel", "Mailing Address:", 120, 1080, 1335, 255},
      {"AddMailingAddress", "Frame(0)", "QPlainTextEdit", nullptr, 1320, 1080, 4335, 675},
      {"Add", "Frame(0)", "QPushButton", "&Add", 4560, 1920, 1095, 375},
      {"DeleteNameLabel", "Frame(1)", "QLabel", "Name:", 120, 240, 1335, 255},
      {"DeleteName", "Frame(1)", "QLineEdit", nullptr, 1320, 240, 4335, 315},
      {"DeleteEmailLabel", "Frame(1)", "QLabel", "E-Mail Address:", 120, 720, 1335, 255},
      {"DeleteEmail", "Frame(1)", "QLineEdit", nullptr, 1320, 720, 4335, 315},
      {"Delete", "Frame(1)", "QPushButton", "&Delete", 4320, 1200, 1335, 375},
      {"MessagesTabStrip", "Frame(2)", "verdanpost::TabStrip", nullptr, 0, 120, 5895, 4335},
      {"MessagesMainFrame", "Frame(2)", "QFrame", nullptr, 120, 480, 5655, 2535},
      {"MessagesFrame(0)", "Frame(2)", "QFrame", nullptr, 120, 3000, 5655, 1095},
      {"MessagesFrame(1)", "Frame(2)", "QFrame", nullptr, 120, 3000, 5655, 1095},
      {"MessagesFrame(2)", "Frame(2)", "QFrame", nullptr, 120, 3000, 5655, 1095},
      {"SendMessage", "MessagesFrame(0)", "QPushButton", "&Send Message", 3600, 120, 1695, 375},
      {"UseFile", "MessagesMainFrame", "QRadioButton", "Use &File", 0, 0, 2175, 255},
      {"SendRaw", "MessagesMainFrame", "QCheckBox", "Use file's message headers", 1560, 0, 2535,
       255},
      {"FileName", "MessagesMainFrame", "QLineEdit", nullptr, 360, 360, 4575, 285},
      {"GetMessageFile", "MessagesMainFrame", "QPushButton", "...", 5040, 360, 300, 285},
      {"UseText", "MessagesMainFrame", "QRadioButton", "Use Text", 0, 840, 2535, 255},
      {"SubjectLabel", "MessagesMainFrame", "QLabel", "Subject:", 360, 1200, 735, 255},
      {"Subject", "MessagesMainFrame", "QLineEdit", nullptr, 1080, 1200, 4215, 285},
      {"MessageText", "MessagesMainFrame", "QPlainTextEdit", nullptr, 360, 1560, 4935, 875},
      {"From", "Frame(3)", "QGroupBox", "From", 120, 120, 5655, 1335},
      {"FromNameLabel", "From", "QLabel", "Name:", 120, 360, 1335, 255},
      {"FromName", "From", "QLineEdit", nullptr, 1320, 360, 4095, 315},
      {"FromEmailLabel", "From", "QLabel", "E-Mail Address:", 120, 840, 1335, 255},
      {"FromEmail", "From", "QLineEdit", nullptr, 1320, 840, 4095, 315},
      {"To", "Frame(3)", "QGroupBox", "To", 120, 1560, 5655, 1335},
      {"ToNameLabel", "To", "QLabel", "Name:", 120, 360, 1335, 255},
      {"ToName", "To", "QLineEdit", nullptr, 1320, 360, 4095, 315},
      {"ToEmailLabel", "To", "QLabel", "E-Mail Address:", 120, 840, 1335, 255},
      {"ToEmail", "To", "QLineEdit", nullptr, 1320, 840, 4095, 315},
      {"SMTPServerLabel", "Frame(3)", "QLabel", "SMTP Server:", 240, 3120, 1335, 255},
      {"SMTPServer", "Frame(3)", "QLineEdit", nullptr, 1440, 3120, 4095, 315},
      {"LimitRecipientsPerMessage", "Frame(3)", "QCheckBox", "Limit Recipients/Message", 240, 3600,
       2175, 255},
      {"RecipientsPerMessageLabel", "Frame(3)", "QLabel", "Recipients/Message:", 2640, 3600, 1575,
       255},
      {"RecipientsPerMessage", "Frame(3)", "QLineEdit", nullptr, 4200, 3600, 1335, 315},
      {"CopyMessages", "Frame(3)", "QCheckBox", "Send a copy of outgoing messages to To address",
       240, 4080, 3855, 255},
  };
  Open();
  const auto pixels = [](int twips) { return qRound(twips / 15.0); };
  for (const Placed& c : controls) {
    SCOPED_TRACE(c.name);
    const QList<QWidget*> found = window_->findChildren<QWidget*>(QLatin1String(c.name));
    ASSERT_EQ(found.size(), 1);
    const QWidget* widget = found.first();
    EXPECT_EQ(widget->parentWidget()->objectName(), c.parent);
    EXPECT_TRUE(widget->inherits(c.kind)) << widget->metaObject()->className();
    EXPECT_EQ(widget->geometry(),
              QRect(pixels(c.left), pixels(c.top), pixels(c.width), pixels(c.height)));
    QString caption;
    if (auto* label = qobject_cast<const QLabel*>(widget)) caption = label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) caption = button->text();
    if (auto* group = qobject_cast<const QGroupBox*>(widget)) caption = group->title();
    EXPECT_EQ(caption, c.caption == nullptr ? QString() : QString(c.caption));
    if (auto* frame = qobject_cast<const QFrame*>(widget);
        frame != nullptr && c.kind == std::string("QFrame")) {
      EXPECT_EQ(frame->frameShape(), QFrame::NoFrame);
    }
  }
  {
    // The tab strips: captions, keys and tags by 1-based position.
    const auto tabs = [this](const char* name) {
      const TabStrip* strip = Control<TabStrip>(name);
      QStringList out;
      for (int tab = 1; tab <= strip->count(); ++tab) {
        out << strip->bar()->tabText(tab - 1) + "|" + strip->key(tab) + "|" + strip->tag(tab);
      }
      return out;
    };
    EXPECT_EQ(tabs("MyTabStrip"),
              (QStringList{"Add|Add|", "Remove|Remove|", "Messages|Messages|", "Setup|Setup|"}));
    EXPECT_EQ(tabs("MessagesTabStrip"),
              (QStringList{"Send|Send|Messages", "Addition|Addition|Addition",
                           "Removal|Removal|Removal"}));
  }
}

TEST_F(ConsoleWindowTest, PageSwitching) {
  ConsoleWindow& w = Open();
  VisibilityLog log;
  for (const char* frame : {"Frame(0)", "Frame(1)", "Frame(2)", "Frame(3)"})
    log.Watch(Control(frame));
  {
    w.SelectMainTab(3);
    EXPECT_EQ(w.CurrentMainTab(), 3);
    EXPECT_EQ(log.events, (std::vector<QString>{"show Frame(2)", "hide Frame(0)"}));
    EXPECT_TRUE(Shown("Frame(2)"));
    EXPECT_FALSE(Shown("Frame(0)"));
  }
  {
    log.events.clear();
    w.MyTabStrip_Click();  // the shown tab clicked again
    EXPECT_TRUE(log.events.empty());
    EXPECT_EQ(w.CurrentMainTab(), 3);
  }
  {
    w.remove_page().name()->setText("kept");
    w.SelectMainTab(2);
    w.SelectMainTab(4);
    EXPECT_EQ(log.events, (std::vector<QString>{"show Frame(1)", "hide Frame(2)", "show Frame(3)",
                                                "hide Frame(1)"}));
    EXPECT_EQ(w.remove_page().name()->text(), "kept");
    EXPECT_EQ(w.CurrentMainTab(), 4);
  }
}

TEST_F(ConsoleWindowTest, SendMessageIsReachableOnlyOnTheSendTab) {
  ConsoleWindow& w = Open();
  EXPECT_FALSE(Shown("SendMessage"));  // Add page
  w.SelectMainTab(3);
  EXPECT_TRUE(Shown("SendMessage"));
  w.SelectMessageTab(2);
  EXPECT_FALSE(Shown("SendMessage"));
  EXPECT_TRUE(Shown("MessagesFrame(1)"));
  w.SelectMessageTab(3);
  EXPECT_FALSE(Shown("SendMessage"));
  EXPECT_TRUE(Shown("MessagesFrame(2)"));
  EXPECT_FALSE(Shown("MessagesFrame(1)"));
  w.SelectMessageTab(1);
  EXPECT_TRUE(Shown("SendMessage"));
  w.SelectMainTab(4);
  EXPECT_FALSE(Shown("SendMessage"));
}

TEST_F(ConsoleWindowTest, EditorSwitchingKeepsUnsavedEdits) {
  ConsoleWindow& w = Open();
  w.SelectMainTab(3);
  VisibilityLog log;
  for (const char* frame : {"MessagesFrame(0)", "MessagesFrame(1)", "MessagesFrame(2)"}) {
    log.Watch(Control(frame));
  }
  {
    // Tab 1 to tab 2: the edits go to "Messages", "Addition" comes in.
    EditMessage("list news");
    w.SelectMessageTab(2);
    EXPECT_EQ(w.CurrentMessageTab(), 2);
    EXPECT_EQ(log.events, (std::vector<QString>{"show MessagesFrame(1)", "hide MessagesFrame(0)"}));
    EXPECT_EQ(Stored("Messages", "Subject"), "list news");
    EXPECT_EQ(Stored("Messages", "UseFile"), "False");
    EXPECT_EQ(w.EditorDefinition(), MessageDefinition());
  }
  {
    // Tab 2 to tab 3 and back to 1: each definition lands in its own section.
    EditMessage("welcome");
    w.SelectMessageTab(3);
    EditMessage("farewell");
    w.SelectMessageTab(1);
    EXPECT_EQ(w.EditorDefinition(), Edited("list news"));
    w.SelectMessageTab(2);
    EXPECT_EQ(w.EditorDefinition(), Edited("welcome"));
    w.SelectMessageTab(3);
    EXPECT_EQ(w.EditorDefinition(), Edited("farewell"));
    EXPECT_EQ(Stored("Removal", "MessageText"), "farewell\r\nsecond line");
  }
}

TEST_F(ConsoleWindowTest, SelectingTheShownTabChangesNothing) {
  ConsoleWindow& w = Open();
  {
    EditMessage("unsaved");
    w.SelectMessageTab(1);
    w.MessagesTabStrip_Click();
    EXPECT_EQ(w.EditorDefinition(), Edited("unsaved"));
    EXPECT_TRUE(StoredKeys("Messages").isEmpty());
  }
  {
    // Selecting from code runs the handler; the direct call after it, as
    // subscribe makes it, must neither save nor reload.
    w.SelectMessageTab(2);
    EditMessage("greeting edit");
    w.MessagesTabStrip_Click();
    EXPECT_EQ(w.CurrentMessageTab(), 2);
    EXPECT_EQ(w.EditorDefinition(), Edited("greeting edit"));
    EXPECT_TRUE(StoredKeys("Addition").isEmpty());
    EXPECT_EQ(Stored("Messages", "Subject"), "unsaved");
  }
}

TEST_F(ConsoleWindowTest, SwitchingWithoutEditsRestoresTheEditorExactly) {
  WriteStore(
      "[Messages]\nUseFile=true\nUseText=TRUE\nFileName=\"  spaced  \"\nSendRaw=0\n"
      "Subject=\"a,b\"\nMessageText=\"x\\r\\n\\r\\ny\\r\\n\"\n");
  ConsoleWindow& w = Open();
  const MessageDefinition before = w.EditorDefinition();
  EXPECT_FALSE(before.UseFile);  // both stored true: "Use Text" applied last
  EXPECT_TRUE(before.UseText);
  EXPECT_EQ(before.MessageText, "x\r\n\r\ny\r\n");
  w.SelectMessageTab(2);
  w.SelectMessageTab(1);
  EXPECT_EQ(w.EditorDefinition(), before);
  EXPECT_EQ(Stored("Messages", "UseText"), "True");
  EXPECT_EQ(Stored("Addition", "UseFile"), "True");
}

TEST_F(ConsoleWindowTest, FirstCloseWritesMessagesAndSetup) {
  Open();
  Close();
  EXPECT_EQ(StoredSections(), (QStringList{"Messages", "Setup"}));
  EXPECT_EQ(StoredKeys("Messages"),
            (QStringList{"FileName", "MessageText", "SendRaw", "Subject", "UseFile", "UseText"}));
  EXPECT_EQ(StoredKeys("Setup"),
            (QStringList{"CopyMessages", "FromEmail", "FromName", "LimitRecipientsPerMessage",
                         "RecipientsPerMessage", "SMTPServer", "ToEmail", "ToName"}));
  EXPECT_EQ(Stored("Messages", "UseFile"), "True");
  EXPECT_EQ(Stored("Messages", "UseText"), "False");
  EXPECT_EQ(Stored("Messages", "SendRaw"), "1");
  EXPECT_EQ(Stored("Messages", "Subject"), "");
  EXPECT_EQ(Stored("Setup", "LimitRecipientsPerMessage"), "0");
  EXPECT_EQ(Stored("Setup", "CopyMessages"), "1");
  EXPECT_EQ(Stored("Setup", "FromName"), "");
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(ConsoleWindowTest, SavingWithoutClosingWritesWhatClosingWrites) {
  // As when the desktop session ends: written now, the window stays, and a
  // later close writes the later edits.
  ConsoleWindow& w = Open();
  w.SelectMessageTab(2);
  EditMessage("welcome");
  w.setup_page().smtp_server()->setText("mail.example.org");
  EXPECT_EQ(w.SaveSettings(), std::nullopt);
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(Stored("Addition", "Subject"), "welcome");
  EXPECT_EQ(Stored("Setup", "SMTPServer"), "mail.example.org");
  EXPECT_EQ(StoredKeys("Setup").size(), 8);
  EditMessage("welcome again");
  Close();
  EXPECT_EQ(Stored("Addition", "Subject"), "welcome again");
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(ConsoleWindowTest, CloseAndReopenRoundTrips) {
  {
    // Closing on tab 3 writes "Removal"; the next run starts on tab 1.
    ConsoleWindow& w = Open();
    EditMessage("list");
    w.SelectMessageTab(3);
    EditMessage("bye");
    ConsoleWindow& again = Reopen();
    EXPECT_EQ(StoredSections(), (QStringList{"Messages", "Removal", "Setup"}));
    EXPECT_EQ(again.CurrentMessageTab(), 1);
    EXPECT_EQ(again.SelectedMessageTab(), 1);
    EXPECT_EQ(again.EditorDefinition(), Edited("list"));
    again.SelectMessageTab(3);
    EXPECT_EQ(again.EditorDefinition(), Edited("bye"));
  }
  {
    // Setup values, including a batch size that is no number and a grey box.
    SetupSettings setup{"Ann \"A\" O'Neil",  "ann@example.org", "List, Owner",
                        "owner@example.org", "127.0.0.1",       "abc",
                        kUnchecked,          kUnchecked};
    window_->SetSetupValues(setup);
    SetCheckState(*window_->setup_page().limit_recipients_per_message(), kChecked);
    setup.LimitRecipientsPerMessage = kChecked;
    EXPECT_EQ(Reopen().SetupValues(), setup);
    SetCheckState(*window_->setup_page().copy_messages(), kGrayed);
    EXPECT_EQ(CheckStateOf(*Reopen().setup_page().copy_messages()), kGrayed);
  }
  {
    // Neither option selected stays so.
    window_->messages_page().SetOption(window_->messages_page().use_file(), false);
    window_->messages_page().SetOption(window_->messages_page().use_text(), false);
    ConsoleWindow& w = Reopen();
    EXPECT_FALSE(w.messages_page().use_file()->isChecked());
    EXPECT_FALSE(w.messages_page().use_text()->isChecked());
    EXPECT_EQ(Stored("Messages", "UseFile"), "False");
  }
}

TEST_F(ConsoleWindowTest, TextsSurviveARestartUnchanged) {
  // Each box gets a text that a careless store or widget would change.
  MessageDefinition message;
  message.Subject = "two\r\nlines in a one-line box";
  message.MessageText = "\r\nblank lines\r\n\r\naround\r\n";
  message.FileName = "C:\\m\\x.eml \\";
  SetupSettings setup;
  setup.FromName = "  \"quoted\", blanks  ";
  setup.FromEmail = "a;b=c,d";
  setup.ToName = "@String(at)";
  setup.ToEmail = QString::fromUtf8("Gr\u00fc\u00dfe \u65e5\u672c\u00a0\u20ac");
  setup.SMTPServer = "";
  setup.RecipientsPerMessage = "abc";
  Open().messages_page().SetDefinition(message);
  window_->setup_page().SetValues(setup);
  ConsoleWindow& w = Reopen();
  EXPECT_EQ(w.messages_page().Definition(), message);
  EXPECT_EQ(w.setup_page().Values(), setup);
}

TEST_F(ConsoleWindowTest, StoredOptionPairs) {
  {
    WriteStore("[Messages]\nUseFile=TRUE\nUseText=false\n");
    EXPECT_TRUE(Open().messages_page().use_file()->isChecked());
    Close();
    EXPECT_EQ(Stored("Messages", "UseFile"), "True");
  }
  {
    path_ = dir_.filePath("both-false.ini");
    WriteStore("[Messages]\nUseFile=False\nUseText=False\n");
    ConsoleWindow& w = Open();
    EXPECT_FALSE(w.messages_page().use_file()->isChecked());
    EXPECT_FALSE(w.messages_page().use_text()->isChecked());
  }
}

TEST_F(ConsoleWindowTest, DamagedStoreStartsFromTheDefaults) {
  WriteStore(QByteArray("\x00\xff[Messages\n=\n\x01garbage", 20));
  ConsoleWindow& w = Open();
  EXPECT_EQ(w.EditorDefinition(), MessageDefinition());
  EXPECT_EQ(w.SetupValues(), SetupSettings());
  // The damaged file is replaced by the values written at close, after it
  // has been reported and copied aside.
  const QString damaged = path_;
  w.messages_page().subject()->setText("fresh");
  EXPECT_EQ(Reopen().messages_page().subject()->text(), "fresh");
  EXPECT_EQ(dialogs_.messages, std::vector<QString>{settings_texts::DamagedCopyKept(
                                   damaged,
                                   {"line 1 holds bytes that are not UTF-8 text",
                                    "some of its lines are neither [Section] nor Key=Value"},
                                   damaged + ".bak")});
  EXPECT_EQ(QFileInfo(damaged + ".bak").size(), 20);
}

TEST_F(ConsoleWindowTest, UnreadableStoreIsReportedAtOpenAndNeverWritten) {
  path_ = dir_.filePath("folder.ini");  // a folder in the file's place
  ASSERT_TRUE(QDir().mkpath(path_));
  ConsoleWindow& w = Open();
  EXPECT_EQ(dialogs_.messages,
            std::vector<QString>{settings_texts::CannotBeRead(path_, {"it is a folder"})});
  EXPECT_EQ(w.EditorDefinition(), MessageDefinition());
  {
    // The run goes on: the editor's definitions still keep their edits.
    w.SelectMainTab(3);
    EditMessage("list news");
    w.SelectMessageTab(3);
    EditMessage("farewell");
    w.SelectMessageTab(1);
    EXPECT_EQ(w.EditorDefinition(), Edited("list news"));
    w.SelectMessageTab(3);
    EXPECT_EQ(w.EditorDefinition(), Edited("farewell"));
  }
  EXPECT_TRUE(w.close());
  EXPECT_EQ(dialogs_.messages.size(), 1u);  // nothing more to say at close
  EXPECT_TRUE(QFileInfo(path_).isDir());
  EXPECT_TRUE(QDir(path_).isEmpty());
}

TEST_F(ConsoleWindowTest, SwallowedLinesAreReportedAndTheFileKeptAside) {
  const QByteArray text =
      "[Messages]\nUseFile=False\nUseText=True\nSubject=\"Hello\nMessageText=body\n"
      "[Setup]\nFromName=Ann\n";
  WriteStore(text);
  const QString damaged = path_;
  ConsoleWindow& w = Open();
  EXPECT_EQ(dialogs_.messages,
            std::vector<QString>{settings_texts::DamagedCopyKept(
                damaged,
                {"the double quote on line 4 is not closed on that line, so the lines after it "
                 "were read as part of one value"},
                damaged + ".bak")});
  // What could be read is there; what the quote swallowed is not.
  EXPECT_TRUE(w.messages_page().use_text()->isChecked());
  EXPECT_EQ(w.setup_page().from_name()->text(), "");
  w.setup_page().from_name()->setText("Ann");
  EXPECT_EQ(Reopen().setup_page().from_name()->text(), "Ann");
  QFile copy(damaged + ".bak");
  ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
  EXPECT_EQ(copy.readAll(), text);
  EXPECT_EQ(dialogs_.messages.size(), 1u);  // the file written at close reads whole
}

TEST_F(ConsoleWindowTest, UnwritableStoreIsReportedAndTheWindowStillCloses) {
  QFile blocker(dir_.filePath("blocker"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  path_ = dir_.filePath("blocker/Verdanpost Console.ini");
  ConsoleWindow& w = Open();
  w.setup_page().from_name()->setText("Ann");
  EXPECT_TRUE(w.close());
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(
      dialogs_.messages,
      (std::vector<QString>{
          QStringLiteral("The settings could not be saved: %1 cannot be written.").arg(path_)}));
}

TEST_F(ConsoleWindowTest, FilePicker) {
  ConsoleWindow& w = Open();
  {
    dialogs_.file_answers = {std::nullopt};
    w.GetMessageFile_Click();
    ASSERT_EQ(dialogs_.file_requests.size(), 1u);
    EXPECT_EQ(dialogs_.file_requests[0].filter, "E-Mail Files (*.eml)|*.eml|All Files (*.*)|*.*");
    EXPECT_EQ(dialogs_.file_requests[0].initial_name, "");
    EXPECT_EQ(w.messages_page().file_name()->text(), "");
  }
  {
    w.messages_page().file_name()->setText("/old/news.eml");
    dialogs_.file_answers = {std::nullopt};
    Control<QPushButton>("GetMessageFile")->click();
    EXPECT_EQ(dialogs_.file_requests.back().initial_name, "/old/news.eml");
    EXPECT_EQ(w.messages_page().file_name()->text(), "/old/news.eml");
  }
  {
    dialogs_.file_answers = {QString("/new/welcome.eml")};
    w.GetMessageFile_Click();
    EXPECT_EQ(w.messages_page().file_name()->text(), "/new/welcome.eml");
  }
}

TEST_F(ConsoleWindowTest, ButtonsRunTheOperations) {
  ConsoleWindow& w = Open();
  for (const char* button : {"Add", "Delete", "SendMessage"}) {
    Control<QPushButton>(button)->click();  // no operations yet: nothing happens
  }
  RecordingOperations operations;
  w.SetOperations(&operations);
  for (const char* button : {"Add", "Delete", "SendMessage"}) Control<QPushButton>(button)->click();
  EXPECT_EQ(operations.calls,
            (std::vector<std::string>{"Add_Click", "Delete_Click", "SendMessage_Click"}));
}

// What the operations read and show, through the controls the operator uses.
TEST_F(ConsoleWindowTest, OperationsViewReadsThePagesTheOperatorTypedIn) {
  ConsoleWindow& w = Open();
  Control<QLineEdit>("AddName")->setText("Ann");
  Control<QLineEdit>("AddEMail")->setText("ann@x.test");
  w.add_page().mailing_address()->setText("1 Main St\r\nTown");
  Control<QLineEdit>("DeleteName")->setText("Bob");
  Control<QLineEdit>("DeleteEmail")->setText("bob@x.test");
  Control<QLineEdit>("SMTPServer")->setText("mail.test:2525");
  const OperationsView& view = w;
  const AddPageInputs add = view.AddInputs();
  EXPECT_EQ(add.name, "Ann");
  EXPECT_EQ(add.email, "ann@x.test");
  EXPECT_EQ(add.mailing_address, "1 Main St\r\nTown");
  const RemovePageInputs remove = view.RemoveInputs();
  EXPECT_EQ(remove.name, "Bob");
  EXPECT_EQ(remove.email, "bob@x.test");
  EXPECT_EQ(view.CurrentSendInputs().setup.SMTPServer, "mail.test:2525");
  EXPECT_EQ(view.CurrentSendInputs().message, w.EditorDefinition());

  // Opening a tab stores the shown definition and loads the tab's.
  EditMessage("List news");
  w.OpenMessageTab(3);
  EXPECT_EQ(w.CurrentMessageTab(), 3);
  EXPECT_EQ(Stored("Messages", "Subject"), "List news");
  EXPECT_NE(w.messages_page().subject()->text(), "List news");
  w.OpenMessageTab(3);
  EXPECT_EQ(w.CurrentMessageTab(), 3);
  w.OpenMessageTab(1);
  EXPECT_EQ(w.messages_page().subject()->text(), "List news");

  w.ShowMessage("Done");
  EXPECT_EQ(dialogs_.messages, std::vector<QString>{"Done"});
}

TEST_F(ConsoleWindowTest, KeyboardFocusOrder) {
  ConsoleWindow& w = Open();
  const QStringList expected = {"MyTabStrip",
                                "AddName",
                                "AddEMail",
                                "AddMailingAddress",
                                "Add",
                                "FromName",
                                "FromEmail",
                                "ToName",
                                "ToEmail",
                                "SMTPServer",
                                "LimitRecipientsPerMessage",
                                "RecipientsPerMessage",
                                "CopyMessages",
                                "DeleteName",
                                "DeleteEmail",
                                "Delete",
                                "MessagesTabStrip",
                                "UseText",
                                "UseFile",
                                "SendRaw",
                                "FileName",
                                "GetMessageFile",
                                "Subject",
                                "MessageText",
                                "SendMessage"};
  QStringList order;
  QWidget* start = Control("MyTabStrip")->focusProxy();
  QWidget* widget = start;
  do {
    QString name = widget->objectName();
    if (qobject_cast<TabStrip*>(widget->parentWidget()) != nullptr) {
      name = widget->parentWidget()->objectName();
    }
    if (expected.contains(name) && !order.contains(name)) order << name;
    widget = widget->nextInFocusChain();
  } while (widget != start && widget != nullptr);
  EXPECT_EQ(order, expected);
  (void)w;
}

// Drives the window from the keyboard alone, as an operator without a mouse.
class KeyboardTest : public ConsoleWindowTest {
 protected:
  // Opens the window and waits until it has the keyboard: on a real window
  // system that takes a round trip to the server (and a window manager).
  ConsoleWindow& OpenActive() {
    ConsoleWindow& w = Open();
    w.SetOperations(&operations_);
    // A window can take the keyboard only once it is on the screen.
    const auto wait_for = [](const std::function<bool()>& done) {
      QElapsedTimer timer;
      timer.start();
      while (!done() && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    };
    wait_for([&w] { return w.windowHandle() != nullptr && w.windowHandle()->isExposed(); });
    w.activateWindow();
    wait_for([&w] { return QApplication::activeWindow() == &w; });
    EXPECT_EQ(QApplication::activeWindow(), &w);
    return w;
  }

  // Presses and releases a key at the widget that has the keyboard focus; an
  // access key clicks its button only after a short animation, so the events
  // run until `done` holds (or a second has passed).
  void Press(
      int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
      const std::function<bool()>& done = [] { return true; }) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(QApplication::focusWidget(), &release);
    QElapsedTimer timer;
    timer.start();
    do {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    } while (!done() && timer.elapsed() < 1000);
  }

  // The control that holds the focus, by the control's name.
  static QString Focused() {
    QWidget* widget = QApplication::focusWidget();
    if (widget == nullptr) return "(none)";
    if (qobject_cast<TabStrip*>(widget->parentWidget()) != nullptr) {
      return widget->parentWidget()->objectName();
    }
    return widget->objectName();
  }

  // The controls that `count` presses of Tab (or Shift+Tab) visit.
  QStringList Walk(int count, bool backwards = false) {
    QStringList visited;
    for (int i = 0; i < count; ++i) {
      if (backwards) {
        Press(Qt::Key_Backtab, Qt::ShiftModifier);
      } else {
        Press(Qt::Key_Tab);
      }
      visited << Focused();
    }
    return visited;
  }

  // Presses an access key and says which operations it ran. A button that an
  // access key reached is held down until its animated click has run.
  std::vector<std::string> AccessKey(int key) {
    operations_.calls.clear();
    Press(key, Qt::AltModifier, [this] {
      const auto buttons = window_->findChildren<QAbstractButton*>();
      return std::none_of(buttons.begin(), buttons.end(),
                          [](const QAbstractButton* b) { return b->isDown(); });
    });
    return operations_.calls;
  }

  RecordingOperations operations_;
};

TEST_F(KeyboardTest, TabVisitsTheShownPageOnly) {
  ConsoleWindow& w = OpenActive();
  ASSERT_EQ(Focused(), "MyTabStrip");
  {
    EXPECT_EQ(Walk(5),
              (QStringList{"AddName", "AddEMail", "AddMailingAddress", "Add", "MyTabStrip"}));
  }
  {
    Press(Qt::Key_Right);  // the arrow keys switch the pages
    EXPECT_EQ(w.CurrentMainTab(), 2);
    EXPECT_EQ(Walk(4), (QStringList{"DeleteName", "DeleteEmail", "Delete", "MyTabStrip"}));
  }
  {
    Press(Qt::Key_Right);
    Press(Qt::Key_Right);
    EXPECT_EQ(w.CurrentMainTab(), 4);
    EXPECT_EQ(Walk(9), (QStringList{"FromName", "FromEmail", "ToName", "ToEmail", "SMTPServer",
                                    "LimitRecipientsPerMessage", "RecipientsPerMessage",
                                    "CopyMessages", "MyTabStrip"}));
  }
  {
    Press(Qt::Key_Left);
    EXPECT_EQ(w.CurrentMainTab(), 3);
    // The option pair is one stop, at the selected option.
    EXPECT_EQ(Walk(9),
              (QStringList{"MessagesTabStrip", "UseFile", "SendRaw", "FileName", "GetMessageFile",
                           "Subject", "MessageText", "SendMessage", "MyTabStrip"}));
    EXPECT_EQ(Walk(3, true), (QStringList{"SendMessage", "MessageText", "Subject"}));
  }
  {
    // On another editor tab the Send Message button is no stop.
    Walk(5, true);
    ASSERT_EQ(Focused(), "MessagesTabStrip");
    Press(Qt::Key_Right);
    EXPECT_EQ(w.CurrentMessageTab(), 2);
    EXPECT_EQ(Walk(2, true), (QStringList{"MyTabStrip", "MessageText"}));
  }
}

TEST_F(KeyboardTest, ReturnPressesTheFocusedButton) {
  ConsoleWindow& w = OpenActive();
  {
    w.add_page().add_button()->setFocus();
    Press(Qt::Key_Return);
    Press(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(operations_.calls, (std::vector<std::string>{"Add_Click", "Add_Click"}));
  }
  {
    // Elsewhere Return presses nothing.
    operations_.calls.clear();
    w.add_page().email()->setFocus();
    Press(Qt::Key_Return);
    EXPECT_TRUE(operations_.calls.empty());
  }
  {
    w.SelectMainTab(3);
    w.messages_page().get_message_file()->setFocus();
    Press(Qt::Key_Return);
    EXPECT_EQ(dialogs_.file_requests.size(), 1u);
    w.messages_page().send_message()->setFocus();
    Press(Qt::Key_Return);
    EXPECT_EQ(operations_.calls, std::vector<std::string>{"SendMessage_Click"});
  }
}

TEST_F(KeyboardTest, ControlKeysMoveBetweenPages) {
  ConsoleWindow& w = OpenActive();
  const auto control = [this](int key, Qt::KeyboardModifiers shift = Qt::NoModifier) {
    Press(key, Qt::ControlModifier | shift);
  };
  {
    // The main strip, round in both directions.
    ASSERT_EQ(Focused(), "MyTabStrip");
    control(Qt::Key_Tab);
    EXPECT_EQ(w.CurrentMainTab(), 2);
    control(Qt::Key_PageDown);
    EXPECT_EQ(w.CurrentMainTab(), 3);
    control(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(w.CurrentMainTab(), 2);
    control(Qt::Key_PageUp);
    control(Qt::Key_PageUp);
    EXPECT_EQ(w.CurrentMainTab(), 4);
    control(Qt::Key_Tab);
    EXPECT_EQ(w.CurrentMainTab(), 1);
    EXPECT_EQ(Focused(), "MyTabStrip");
  }
  {
    // From a control on a page: the page goes, the strip takes the focus.
    w.add_page().mailing_address()->setFocus();
    control(Qt::Key_Tab);
    EXPECT_EQ(w.CurrentMainTab(), 2);
    EXPECT_EQ(Focused(), "MyTabStrip");
  }
  {
    // In the editor its own strip moves, and the main one stays.
    w.SelectMainTab(3);
    w.messages_page().tab_strip()->setFocus();
    control(Qt::Key_Tab);
    EXPECT_EQ(w.CurrentMessageTab(), 2);
    EXPECT_EQ(Focused(), "MessagesTabStrip");
    w.messages_page().message_text()->setFocus();
    w.messages_page().message_text()->setPlainText("kept");
    control(Qt::Key_PageDown);
    EXPECT_EQ(w.CurrentMessageTab(), 3);
    EXPECT_EQ(Focused(), "MessageText");
    control(Qt::Key_Tab);
    EXPECT_EQ(w.CurrentMessageTab(), 1);
    EXPECT_EQ(Stored("Addition", "MessageText"), "kept");  // no tab typed into it
    w.messages_page().send_message()->setFocus();
    control(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(w.CurrentMessageTab(), 3);
    EXPECT_EQ(Focused(), "MessagesTabStrip");
    EXPECT_EQ(w.CurrentMainTab(), 3);
  }
}

TEST_F(KeyboardTest, FocusFrameShowsFromTheStart) {
  OpenActive();
  ASSERT_EQ(Focused(), "MyTabStrip");
  QWidget* tabs = Control<TabStrip>("MyTabStrip")->bar();
  QCoreApplication::processEvents();
  const QImage at_start = tabs->grab().toImage();
  // The same tabs without the keyboard: no frame, so the picture differs.
  Control("AddName")->setFocus(Qt::TabFocusReason);
  QCoreApplication::processEvents();
  EXPECT_NE(tabs->grab().toImage(), at_start);
  // And with it back, the frame is what the operator saw at the start.
  Press(Qt::Key_Backtab, Qt::ShiftModifier);
  ASSERT_EQ(Focused(), "MyTabStrip");
  EXPECT_EQ(tabs->grab().toImage(), at_start);
}

TEST_F(KeyboardTest, OptionPairStopFollowsTheLoadedDefinition) {
  WriteStore("[Addition]\nUseFile=False\nUseText=True\n");
  ConsoleWindow& w = OpenActive();
  w.SelectMainTab(3);
  Control("MessagesTabStrip")->setFocus();
  EXPECT_EQ(Walk(1), QStringList{"UseFile"});
  {
    // Up and down move within the pair and select.
    Press(Qt::Key_Down);
    EXPECT_EQ(Focused(), "UseText");
    EXPECT_TRUE(w.messages_page().use_text()->isChecked());
    Press(Qt::Key_Up);
    EXPECT_EQ(Focused(), "UseFile");
    EXPECT_TRUE(w.messages_page().use_file()->isChecked());
  }
  {
    // The next definition is loaded with "Use Text" selected: Tab lands there.
    w.SelectMessageTab(2);
    Control("MessagesTabStrip")->setFocus();
    EXPECT_EQ(Walk(2), (QStringList{"UseText", "SendRaw"}));
    EXPECT_EQ(Walk(2, true), (QStringList{"UseText", "MessagesTabStrip"}));
  }
}

TEST_F(KeyboardTest, AccessKeysPressOnlyTheShownPagesButtons) {
  ConsoleWindow& w = OpenActive();
  {
    EXPECT_EQ(AccessKey(Qt::Key_A), std::vector<std::string>{"Add_Click"});
    EXPECT_EQ(AccessKey(Qt::Key_D), std::vector<std::string>{});
    EXPECT_EQ(AccessKey(Qt::Key_S), std::vector<std::string>{});
  }
  {
    w.SelectMainTab(2);
    EXPECT_EQ(AccessKey(Qt::Key_D), std::vector<std::string>{"Delete_Click"});
    EXPECT_EQ(AccessKey(Qt::Key_A), std::vector<std::string>{});
  }
  {
    w.SelectMainTab(3);
    w.messages_page().SetOption(w.messages_page().use_text(), true);
    EXPECT_EQ(AccessKey(Qt::Key_S), std::vector<std::string>{"SendMessage_Click"});
    EXPECT_EQ(AccessKey(Qt::Key_A), std::vector<std::string>{});
    AccessKey(Qt::Key_F);
    EXPECT_TRUE(w.messages_page().use_file()->isChecked());
    EXPECT_EQ(Focused(), "UseFile");
  }
  {
    // The Send Message button is on the first editor tab only.
    w.SelectMessageTab(2);
    EXPECT_EQ(AccessKey(Qt::Key_S), std::vector<std::string>{});
  }
  {
    w.SelectMainTab(4);
    w.messages_page().SetOption(w.messages_page().use_text(), true);
    EXPECT_EQ(AccessKey(Qt::Key_S), std::vector<std::string>{});
    AccessKey(Qt::Key_F);
    EXPECT_FALSE(w.messages_page().use_file()->isChecked());
  }
}

}  // namespace
}  // namespace verdanpost
