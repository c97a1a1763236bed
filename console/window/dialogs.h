#ifndef VERDANPOST_CONSOLE_WINDOW_DIALOGS_H_
#define VERDANPOST_CONSOLE_WINDOW_DIALOGS_H_

#include <optional>

#include <QString>

#include "console/dispatch/console_operations.h"

namespace verdanpost {

// The console's modal dialogs. Abstract so tests can read what would have
// been shown without anyone clicking (see RecordingDialogs).
class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A modal message box titled "VerdanpostConsole" with an OK button and no
  // icon; returns when the operator has closed it.
  virtual void ShowMessage(const QString& text) = 0;

  // The same box asking a question, with Yes and No; true for Yes. No is
  // the default button (Return on no other button), and Esc is No.
  virtual bool Ask(const QString& text) = 0;

  // The same box asking whether to go on with a kept send, with Yes, No and
  // Discard; No is the default button and Esc.
  virtual KeptSendChoice AskKeptSend(const QString& text) {
    return Ask(text) ? KeptSendChoice::kSendNow : KeptSendChoice::kLater;
  }

  // A modal dialog for opening a file. `filter` is the system's filter text,
  // description and pattern pairs separated by "|"; its first entry is
  // selected. The dialog starts with `initial_name`. Returns the chosen path,
  // or nullopt when the operator cancelled.
  virtual std::optional<QString> GetOpenFileName(const QString& filter,
                                                 const QString& initial_name) = 0;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_WINDOW_DIALOGS_H_
