#ifndef VERDANPOST_CONSOLE_DISPATCH_CONSOLE_OPERATIONS_H_
#define VERDANPOST_CONSOLE_DISPATCH_CONSOLE_OPERATIONS_H_

#include <QString>

#include "console/dispatch/send_progress.h"
#include "console/settings/message_definition.h"

namespace verdanpost {

// The operations behind the window's action buttons: subscribe (Add),
// unsubscribe (Delete) and the bulk send (SendMessage). The window calls them
// on its own thread and takes no input until they return; they reach the
// controls only through OperationsView.
class ConsoleOperations {
 public:
  virtual ~ConsoleOperations() = default;
  virtual void Add_Click() = 0;
  virtual void Delete_Click() = 0;
  virtual void SendMessage_Click() = 0;
};

// The Add page's texts, as typed.
struct AddPageInputs {
  QString name;
  QString email;
  QString mailing_address;  // lines broken by CR LF
};

// The Remove page's texts, as typed.
struct RemovePageInputs {
  QString name;
  QString email;
};

// What a send reads from the window at the moment it sends: the definition
// the message editor shows and the values of the Setup page.
struct SendInputs {
  MessageDefinition message;
  SetupSettings setup;
};

// The answers to the question whether to go on with a kept send.
enum class KeptSendChoice { kSendNow, kLater, kDiscard };

// What the operations read from the window and show in it. The console
// window implements it; abstract so the operations can be tested on a fake.
class OperationsView {
 public:
  virtual ~OperationsView() = default;

  virtual AddPageInputs AddInputs() const = 0;
  virtual RemovePageInputs RemoveInputs() const = 0;
  // May be called from the thread of a send that RunSend runs.
  virtual SendInputs CurrentSendInputs() const = 0;

  // Makes the message editor hold the definition of MessagesTabStrip's tab
  // `tab` (1-based): selects the tab and runs its click handling, which first
  // stores the definition the editor showed. When the editor already shows
  // that tab, nothing is stored or loaded.
  virtual void OpenMessageTab(int tab) = 0;

  // The operation's one message box; returns when the operator closed it.
  virtual void ShowMessage(const QString& text) = 0;
  // The operation's one message box asking Yes or No; true for Yes.
  virtual bool AskMessage(const QString& text) = 0;
  // The same box asking whether to go on with a kept send: Yes, No (keep
  // it for later) or Discard.
  virtual KeptSendChoice AskKeptSend(const QString& text) {
    return AskMessage(text) ? KeptSendChoice::kSendNow : KeptSendChoice::kLater;
  }

  // Runs `send` on another thread and returns once it has ended. Meanwhile
  // the window shows its progress, passes Cancel on, is repainted and takes
  // no other input.
  virtual void RunSend(const ProgressingSend& send) = 0;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_CONSOLE_OPERATIONS_H_
