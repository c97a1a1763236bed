#include "console/window/console_window.h"

#include <algorithm>
#include <utility>

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>

#include "console/dispatch/console_operations.h"
#include "console/window/console_pages.h"
#include "console/window/dialogs.h"
#include "console/window/multi_line_text_box.h"
#include "console/window/send_progress_dialog.h"
#include "console/window/tab_strip.h"
#include "console/window/twips.h"

namespace verdanpost {

namespace {

// Whether every caption fits the fixed width of its control. A label may
// reach into its text box, so it has the room up to the box.
bool CaptionsFit(const QWidget& window) {
  for (const QLabel* label : window.findChildren<QLabel*>()) {
    int room = label->width();
    const QWidget* buddy = label->buddy();
    if (buddy != nullptr && buddy->x() > label->x()) room = std::min(room, buddy->x() - label->x());
    if (label->fontMetrics().horizontalAdvance(label->text()) > room) return false;
  }
  for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
    if (qobject_cast<const QCheckBox*>(button) == nullptr &&
        qobject_cast<const QRadioButton*>(button) == nullptr) {
      continue;
    }
    if (button->sizeHint().width() > button->width()) return false;
  }
  return true;
}

}  // namespace

ConsoleWindow::ConsoleWindow(QSettings& settings, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs), settings_(settings, *this) {
  setObjectName(QStringLiteral("VerdanpostConsole"));
  setWindowTitle(QStringLiteral("Verdanpost Console (Beta2a)"));
  setFixedSize(TwipsToPixels(6135), TwipsToPixels(5055));

  my_tab_strip_ = new TabStrip(this);
  my_tab_strip_->setObjectName(QStringLiteral("MyTabStrip"));
  my_tab_strip_->setGeometry(TwipsRect(0, 120, 6135, 4935));
  for (const char* caption : {"Add", "Remove", "Messages", "Setup"}) {
    my_tab_strip_->AddTab(caption, caption, QString());
  }
  frames_ = {BuildAddPage(this), BuildRemovePage(this), BuildMessagesPage(this),
             BuildSetupPage(this)};
  for (std::size_t i = 1; i < frames_.size(); ++i) frames_[i]->hide();
  messages_tab_strip_ = findChild<TabStrip*>(QStringLiteral("MessagesTabStrip"));
  for (int i = 0; i < 3; ++i) {
    messages_frames_[i] = findChild<QFrame*>(QStringLiteral("MessagesFrame(%1)").arg(i));
  }
  FitFont();
  SetTabOrder();
  Wire();
  my_tab_strip_->setFocus();
  Form_Load();
}

ConsoleWindow::~ConsoleWindow() = default;

void ConsoleWindow::FitFont() {
  // The layout was drawn for an 8-point sans serif font (11 pixels); take the
  // desktop's font at the largest size up to that in which every caption fits.
  QFont fitted = font();
  for (int pixels = 11; pixels >= 8; --pixels) {
    fitted.setPixelSize(pixels);
    setFont(fitted);
    if (CaptionsFit(*this)) return;
  }
}

void ConsoleWindow::SetTabOrder() {
  static const char* const kOrder[] = {"MyTabStrip",
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
  QWidget* previous = nullptr;
  for (const char* name : kOrder) {
    QWidget* widget = findChild<QWidget*>(QLatin1String(name));
    if (previous != nullptr) setTabOrder(previous, widget);
    previous = widget;
  }
}

void ConsoleWindow::Wire() {
  connect(my_tab_strip_, &TabStrip::clicked, this, &ConsoleWindow::MyTabStrip_Click);
  connect(messages_tab_strip_, &TabStrip::clicked, this, &ConsoleWindow::MessagesTabStrip_Click);
  const auto on_click = [this](const char* button, void (ConsoleWindow::*handler)()) {
    connect(findChild<QPushButton*>(QLatin1String(button)), &QPushButton::clicked, this,
            [this, handler] { (this->*handler)(); });
  };
  on_click("Add", &ConsoleWindow::Add_Click);
  on_click("Delete", &ConsoleWindow::Delete_Click);
  on_click("SendMessage", &ConsoleWindow::SendMessage_Click);
  on_click("GetMessageFile", &ConsoleWindow::GetMessageFile_Click);
}

QString ConsoleWindow::Text(const QString& control) const {
  if (auto* box = findChild<MultiLineTextBox*>(control)) return box->text();
  if (auto* line = findChild<QLineEdit*>(control)) return line->text();
  return QString();
}

void ConsoleWindow::SetText(const QString& control, const QString& text) {
  if (auto* box = findChild<MultiLineTextBox*>(control)) {
    box->setText(text);
  } else if (auto* line = findChild<QLineEdit*>(control)) {
    line->setText(text);
  }
}

int ConsoleWindow::CheckState(const QString& control) const {
  const auto* box = findChild<QCheckBox*>(control);
  if (box == nullptr) return kUnchecked;
  switch (box->checkState()) {
    case Qt::Checked:
      return kChecked;
    case Qt::PartiallyChecked:
      return kGrayed;
    case Qt::Unchecked:
      break;
  }
  return kUnchecked;
}

void ConsoleWindow::SetCheckState(const QString& control, int state) {
  auto* box = findChild<QCheckBox*>(control);
  if (box == nullptr) return;
  if (state == kGrayed) {
    box->setCheckState(Qt::PartiallyChecked);
  } else {
    box->setTristate(false);
    box->setCheckState(state == kUnchecked ? Qt::Unchecked : Qt::Checked);
  }
}

bool ConsoleWindow::OptionValue(const QString& control) const {
  const auto* button = findChild<QRadioButton*>(control);
  return button != nullptr && button->isChecked();
}

void ConsoleWindow::SetOptionValue(const QString& control, bool selected) {
  auto* button = findChild<QRadioButton*>(control);
  if (button == nullptr) return;
  // An exclusive button refuses to be cleared; clearing must leave the group
  // with nothing selected, so exclusiveness is lifted for the moment.
  button->setAutoExclusive(selected);
  button->setChecked(selected);
  button->setAutoExclusive(true);
  PutOptionTabStopOnSelection();
}

void ConsoleWindow::PutOptionTabStopOnSelection() {
  // Qt keeps one Tab stop per option pair, at the button that last had the
  // focus. A choice made from code (a definition loaded) leaves it there, and
  // Tab would land on the option that is not selected, where Space flips the
  // choice. The stop goes to the selected option, or to the pair's first one
  // in the focus order (UseText) when neither is selected.
  auto* use_file = findChild<QRadioButton*>(QStringLiteral("UseFile"));
  auto* use_text = findChild<QRadioButton*>(QStringLiteral("UseText"));
  if (use_file == nullptr || use_text == nullptr) return;
  QRadioButton* stop = use_file->isChecked() ? use_file : use_text;
  for (QRadioButton* button : {use_file, use_text}) {
    const int policy = button->focusPolicy();
    button->setFocusPolicy(
        Qt::FocusPolicy(button == stop ? policy | Qt::TabFocus : policy & ~Qt::TabFocus));
  }
}

void ConsoleWindow::SelectMainTab(int tab) { my_tab_strip_->Select(tab); }

void ConsoleWindow::SelectMessageTab(int tab) { messages_tab_strip_->Select(tab); }

void ConsoleWindow::Form_Load() {
  current_main_tab_ = 1;
  load_report_ = settings_.Form_Load();
}

void ConsoleWindow::Form_Unload() {
  unloaded_ = true;
  if (const std::optional<QString> error = settings_.Form_Unload()) dialogs_.ShowMessage(*error);
}

void ConsoleWindow::MyTabStrip_Click() {
  const int selected = my_tab_strip_->selected();
  if (selected == current_main_tab_) return;
  frames_[selected - 1]->setVisible(true);
  frames_[current_main_tab_ - 1]->setVisible(false);
  current_main_tab_ = selected;
}

void ConsoleWindow::MessagesTabStrip_Click() { settings_.MessagesTabStrip_Click(); }

void ConsoleWindow::GetMessageFile_Click() {
  // On cancel the dialog still holds the name it started with.
  const QString current = Text(QStringLiteral("FileName"));
  const std::optional<QString> chosen =
      dialogs_.GetOpenFileName(QLatin1String(kMessageFileFilter), current);
  SetText(QStringLiteral("FileName"), chosen.value_or(current));
}

void ConsoleWindow::Add_Click() {
  if (operations_ != nullptr) operations_->Add_Click();
}

void ConsoleWindow::Delete_Click() {
  if (operations_ != nullptr) operations_->Delete_Click();
}

void ConsoleWindow::SendMessage_Click() {
  if (operations_ != nullptr) operations_->SendMessage_Click();
}

MessageDefinition ConsoleWindow::EditorDefinition() const {
  MessageDefinition d;
  d.UseFile = OptionValue(QStringLiteral("UseFile"));
  d.UseText = OptionValue(QStringLiteral("UseText"));
  d.FileName = Text(QStringLiteral("FileName"));
  d.SendRaw = CheckState(QStringLiteral("SendRaw"));
  d.Subject = Text(QStringLiteral("Subject"));
  d.MessageText = Text(QStringLiteral("MessageText"));
  return d;
}

void ConsoleWindow::SetEditorDefinition(const MessageDefinition& definition) {
  SetOptionValue(QStringLiteral("UseFile"), definition.UseFile);
  SetOptionValue(QStringLiteral("UseText"), definition.UseText);
  SetText(QStringLiteral("FileName"), definition.FileName);
  SetCheckState(QStringLiteral("SendRaw"), definition.SendRaw);
  SetText(QStringLiteral("Subject"), definition.Subject);
  SetText(QStringLiteral("MessageText"), definition.MessageText);
}

SetupSettings ConsoleWindow::SetupValues() const {
  SetupSettings s;
  s.FromName = Text(QStringLiteral("FromName"));
  s.FromEmail = Text(QStringLiteral("FromEmail"));
  s.ToName = Text(QStringLiteral("ToName"));
  s.ToEmail = Text(QStringLiteral("ToEmail"));
  s.SMTPServer = Text(QStringLiteral("SMTPServer"));
  s.RecipientsPerMessage = Text(QStringLiteral("RecipientsPerMessage"));
  s.LimitRecipientsPerMessage = CheckState(QStringLiteral("LimitRecipientsPerMessage"));
  s.CopyMessages = CheckState(QStringLiteral("CopyMessages"));
  return s;
}

void ConsoleWindow::SetSetupValues(const SetupSettings& setup) {
  SetText(QStringLiteral("FromName"), setup.FromName);
  SetText(QStringLiteral("FromEmail"), setup.FromEmail);
  SetText(QStringLiteral("ToName"), setup.ToName);
  SetText(QStringLiteral("ToEmail"), setup.ToEmail);
  SetText(QStringLiteral("SMTPServer"), setup.SMTPServer);
  SetText(QStringLiteral("RecipientsPerMessage"), setup.RecipientsPerMessage);
  SetCheckState(QStringLiteral("LimitRecipientsPerMessage"), setup.LimitRecipientsPerMessage);
  SetCheckState(QStringLiteral("CopyMessages"), setup.CopyMessages);
}

int ConsoleWindow::SelectedMessageTab() const { return messages_tab_strip_->selected(); }

QString ConsoleWindow::MessageTabTag(int tab) const { return messages_tab_strip_->tag(tab); }

void ConsoleWindow::SetMessagesFrameVisible(int index, bool visible) {
  messages_frames_[index]->setVisible(visible);
}

AddPageInputs ConsoleWindow::AddInputs() const {
  return {Text(QStringLiteral("AddName")), Text(QStringLiteral("AddEMail")),
          Text(QStringLiteral("AddMailingAddress"))};
}

RemovePageInputs ConsoleWindow::RemoveInputs() const {
  return {Text(QStringLiteral("DeleteName")), Text(QStringLiteral("DeleteEmail"))};
}

SendInputs ConsoleWindow::CurrentSendInputs() const {
  // A bulk send reads the controls from its own thread (RunSend); the
  // controls are read on theirs, which turns its event loop meanwhile.
  if (QThread::currentThread() != thread()) {
    SendInputs inputs;
    QMetaObject::invokeMethod(
        const_cast<ConsoleWindow*>(this), [this, &inputs] { inputs = CurrentSendInputs(); },
        Qt::BlockingQueuedConnection);
    return inputs;
  }
  return {EditorDefinition(), SetupValues()};
}

void ConsoleWindow::OpenMessageTab(int tab) {
  // Selecting may already have run the click handling; the second run then
  // does nothing.
  SelectMessageTab(tab);
  MessagesTabStrip_Click();
}

void ConsoleWindow::ShowMessage(const QString& text) { dialogs_.ShowMessage(text); }

void ConsoleWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_) return;
  shown_ = true;
  // The keyboard starts on the main tab strip. Qt draws focus frames only
  // once a key has moved the focus (and clears the mark when a window is
  // shown); an operator at the keyboard needs to see from the start where
  // the keys go.
  setAttribute(Qt::WA_KeyboardFocusChange);
  // Once the window is on the screen: without a window manager nobody
  // gives it the keyboard, and a report needs the window behind it.
  QMetaObject::invokeMethod(
      this,
      [this] {
        activateWindow();
        if (!load_report_.has_value()) return;
        const QString report = *std::exchange(load_report_, std::nullopt);
        dialogs_.ShowMessage(report);
      },
      Qt::QueuedConnection);
}

bool ConsoleWindow::AskMessage(const QString& text) { return dialogs_.Ask(text); }

void ConsoleWindow::RunSend(const ProgressingSend& send) { RunWithProgressDialog(*this, send); }

void ConsoleWindow::closeEvent(QCloseEvent* event) {
  // The window always closes, whatever the store says.
  if (!unloaded_) Form_Unload();
  event->accept();
}

}  // namespace verdanpost
