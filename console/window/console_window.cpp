#include "console/window/console_window.h"

#include <algorithm>
#include <utility>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QKeyEvent>
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
  add_page_ = new AddPage(this);
  remove_page_ = new RemovePage(this);
  messages_page_ = new MessagesPage(this);
  setup_page_ = new SetupPage(this);
  frames_ = {add_page_, remove_page_, messages_page_, setup_page_};
  for (std::size_t i = 1; i < frames_.size(); ++i) frames_[i]->hide();
  messages_tab_strip_ = messages_page_->tab_strip();
  FitFont();
  SetTabOrder();
  Wire();
  my_tab_strip_->setFocus();
  // Seen before the focused control, which may keep keys for itself.
  QCoreApplication::instance()->installEventFilter(this);
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
  const AddPage& add = *add_page_;
  const RemovePage& remove = *remove_page_;
  const MessagesPage& messages = *messages_page_;
  const SetupPage& setup = *setup_page_;
  QWidget* const order[] = {my_tab_strip_,
                            add.name(),
                            add.email(),
                            add.mailing_address(),
                            add.add_button(),
                            setup.from_name(),
                            setup.from_email(),
                            setup.to_name(),
                            setup.to_email(),
                            setup.smtp_server(),
                            setup.limit_recipients_per_message(),
                            setup.recipients_per_message(),
                            setup.copy_messages(),
                            remove.name(),
                            remove.email(),
                            remove.delete_button(),
                            messages.tab_strip(),
                            messages.use_text(),
                            messages.use_file(),
                            messages.send_raw(),
                            messages.file_name(),
                            messages.get_message_file(),
                            messages.subject(),
                            messages.message_text(),
                            messages.send_message()};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

void ConsoleWindow::Wire() {
  connect(my_tab_strip_, &TabStrip::clicked, this, &ConsoleWindow::MyTabStrip_Click);
  connect(messages_tab_strip_, &TabStrip::clicked, this, &ConsoleWindow::MessagesTabStrip_Click);
  const auto on_click = [this](QPushButton* button, void (ConsoleWindow::*handler)()) {
    connect(button, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
  };
  on_click(add_page_->add_button(), &ConsoleWindow::Add_Click);
  on_click(remove_page_->delete_button(), &ConsoleWindow::Delete_Click);
  on_click(messages_page_->send_message(), &ConsoleWindow::SendMessage_Click);
  on_click(messages_page_->get_message_file(), &ConsoleWindow::GetMessageFile_Click);
}

bool ConsoleWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
    auto* target = static_cast<QWidget*>(watched);
    if ((target == this || isAncestorOf(target)) && target->isEnabled() &&
        HandleKey(target, *static_cast<QKeyEvent*>(event))) {
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

bool ConsoleWindow::HandleKey(QWidget* target, const QKeyEvent& key) {
  const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
  if ((key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
    auto* button = qobject_cast<QPushButton*>(target);
    if (button == nullptr || !button->isVisible()) return false;
    button->click();
    return true;
  }
  int step = 0;
  if (modifiers == Qt::ControlModifier) {
    if (key.key() == Qt::Key_Tab || key.key() == Qt::Key_PageDown) step = 1;
    if (key.key() == Qt::Key_PageUp) step = -1;
  } else if (modifiers == (Qt::ControlModifier | Qt::ShiftModifier)) {
    if (key.key() == Qt::Key_Backtab || key.key() == Qt::Key_Tab) step = -1;
  }
  if (step == 0) return false;
  // The editor's strip while the focus is on it or in the editor; the main
  // strip otherwise. Both go round.
  const bool editor = messages_page_->isVisible() &&
                      (target == messages_page_ || messages_page_->isAncestorOf(target));
  TabStrip* strip = editor ? messages_tab_strip_ : my_tab_strip_;
  const int count = strip->count();
  const int next = (strip->selected() - 1 + step + count) % count + 1;
  QWidget* const focused = QApplication::focusWidget();
  if (editor) {
    SelectMessageTab(next);
  } else {
    SelectMainTab(next);
  }
  // A control on the page just left has lost the focus to whatever came
  // next; the strip takes it instead.
  if (QApplication::focusWidget() != focused) strip->setFocus();
  return true;
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
  QLineEdit* file_name = messages_page_->file_name();
  const QString current = file_name->text();
  const std::optional<QString> chosen =
      dialogs_.GetOpenFileName(QLatin1String(kMessageFileFilter), current);
  file_name->setText(chosen.value_or(current));
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

MessageDefinition ConsoleWindow::EditorDefinition() const { return messages_page_->Definition(); }

void ConsoleWindow::SetEditorDefinition(const MessageDefinition& definition) {
  messages_page_->SetDefinition(definition);
}

SetupSettings ConsoleWindow::SetupValues() const { return setup_page_->Values(); }

void ConsoleWindow::SetSetupValues(const SetupSettings& setup) { setup_page_->SetValues(setup); }

int ConsoleWindow::SelectedMessageTab() const { return messages_tab_strip_->selected(); }

QString ConsoleWindow::MessageTabTag(int tab) const { return messages_tab_strip_->tag(tab); }

void ConsoleWindow::SetMessagesFrameVisible(int index, bool visible) {
  messages_page_->messages_frame(index)->setVisible(visible);
}

AddPageInputs ConsoleWindow::AddInputs() const { return add_page_->Inputs(); }

RemovePageInputs ConsoleWindow::RemoveInputs() const { return remove_page_->Inputs(); }

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

KeptSendChoice ConsoleWindow::AskKeptSend(const QString& text) {
  return dialogs_.AskKeptSend(text);
}

void ConsoleWindow::RunSend(const ProgressingSend& send) {
  RunWithProgressDialog(*this, send, progress_dialog_due_);
}

void ConsoleWindow::closeEvent(QCloseEvent* event) {
  // The window always closes, whatever the store says.
  if (!unloaded_) Form_Unload();
  event->accept();
}

}  // namespace verdanpost
