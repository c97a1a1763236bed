#ifndef VERDANPOST_CONSOLE_WINDOW_CONSOLE_WINDOW_H_
#define VERDANPOST_CONSOLE_WINDOW_CONSOLE_WINDOW_H_

#include <array>

#include <QString>
#include <QWidget>

#include "console/dispatch/console_operations.h"
#include "console/settings/console_settings.h"
#include "console/settings/console_view.h"
#include "console/window/console_pages.h"
#include "console/window/send_progress_dialog.h"

class QFrame;
class QKeyEvent;
class QSettings;

namespace verdanpost {

class Dialogs;
class TabStrip;

// The console's one window, "VerdanpostConsole": the pages Add, Remove,
// Messages and Setup under the main tab strip, the message editor with its
// own tab strip, and the wiring of control events to the handlers. Every
// control is a child with the control's name as object name (arrays as
// "Frame(0)", "MessagesFrame(2)"); code reaches them through the pages'
// typed accessors. Form_Load runs in the constructor, Form_Unload when the
// window closes. What Form_Load found wrong with the settings file is shown
// once the window is first on the screen. *settings and *dialogs must
// outlive the window.
//
// The operations reach it as an OperationsView, the settings handlers as a
// ConsoleView; tabs are selected by 1-based position.
class ConsoleWindow : public QWidget, public ConsoleView, public OperationsView {
  Q_OBJECT

 public:
  ConsoleWindow(QSettings& settings, Dialogs& dialogs, QWidget* parent = nullptr);
  ~ConsoleWindow() override;

  // The operations behind Add, Delete and SendMessage; not owned, may be null
  // (the buttons then do nothing).
  void SetOperations(ConsoleOperations* operations) { operations_ = operations; }

  AddPage& add_page() const { return *add_page_; }
  RemovePage& remove_page() const { return *remove_page_; }
  MessagesPage& messages_page() const { return *messages_page_; }
  SetupPage& setup_page() const { return *setup_page_; }

  // Select a tab from code by 1-based position. Selecting another tab than
  // the shown one runs the tab strip's click handler, as a click does.
  void SelectMainTab(int tab);
  void SelectMessageTab(int tab);
  // 1-based main tab whose page is shown.
  int CurrentMainTab() const { return current_main_tab_; }
  // 1-based editor tab whose definition the editor holds.
  int CurrentMessageTab() const { return settings_.CurrentMessageTab(); }

  // Writes what closing writes, without closing: for the end of a session
  // or a signal to stop, when nobody may be there to read a box. Returns
  // the text that closing would show when the store could not be written.
  std::optional<QString> SaveSettings() { return settings_.Form_Unload(); }

  // The handlers, named after control and event.
  void Form_Load();
  void Form_Unload();
  void MyTabStrip_Click();
  void MessagesTabStrip_Click();
  void GetMessageFile_Click();
  void Add_Click();
  void Delete_Click();
  void SendMessage_Click();

  // ConsoleView: the editor and Setup controls as records.
  MessageDefinition EditorDefinition() const override;
  void SetEditorDefinition(const MessageDefinition& definition) override;
  SetupSettings SetupValues() const override;
  void SetSetupValues(const SetupSettings& setup) override;
  int SelectedMessageTab() const override;
  QString MessageTabTag(int tab) const override;
  void SetMessagesFrameVisible(int index, bool visible) override;

  // OperationsView: the pages' texts as records; messages through dialogs().
  AddPageInputs AddInputs() const override;
  RemovePageInputs RemoveInputs() const override;
  SendInputs CurrentSendInputs() const override;
  void OpenMessageTab(int tab) override;
  void ShowMessage(const QString& text) override;
  bool AskMessage(const QString& text) override;
  KeptSendChoice AskKeptSend(const QString& text) override;
  void RunSend(const ProgressingSend& send) override;
  // When a send's progress dialog shows (kProgressDialogDelay into the send
  // unless set); tests show it at once, so that what it shows does not
  // depend on how fast the machine is.
  void set_progress_dialog_due(ProgressDialogDue due) { progress_dialog_due_ = std::move(due); }

 protected:
  // The window's keys, whichever control has the focus: Return presses the
  // focused button; Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PgDn and Ctrl+PgUp move
  // to the next or previous page of the tab strip that has the focus, or of
  // the message editor's when the focus is inside it, else the main one.
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void FitFont();
  void SetTabOrder();
  bool HandleKey(QWidget* target, const QKeyEvent& key);
  void Wire();

  Dialogs& dialogs_;
  ConsoleOperations* operations_ = nullptr;
  TabStrip* my_tab_strip_ = nullptr;
  TabStrip* messages_tab_strip_ = nullptr;
  AddPage* add_page_ = nullptr;
  RemovePage* remove_page_ = nullptr;
  MessagesPage* messages_page_ = nullptr;
  SetupPage* setup_page_ = nullptr;
  std::array<QFrame*, 4> frames_{};  // the pages by main tab
  int current_main_tab_ = 1;
  bool unloaded_ = false;               // Form_Unload has run
  bool shown_ = false;                  // the window has been shown once
  std::optional<QString> load_report_;  // to show once the window is shown
  ConsoleSettings settings_;
  ProgressDialogDue progress_dialog_due_ = DueAfter(kProgressDialogDelay);
};

// The message-file picker's filter, the system's own text.
inline const char kMessageFileFilter[] = "E-Mail Files (*.eml)|*.eml|All Files (*.*)|*.*";

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_WINDOW_CONSOLE_WINDOW_H_
