#ifndef VERDANPOST_CONSOLE_MAILBOX_MAILBOX_PROGRESS_DIALOG_H_
#define VERDANPOST_CONSOLE_MAILBOX_MAILBOX_PROGRESS_DIALOG_H_

#include <functional>

#include "console/mailbox/mailbox_check.h"

class QWidget;

namespace verdanpost::mailbox {

// Runs `work` on a thread of its own and returns once it has ended. The
// window's thread meanwhile keeps turning its event loop, so `window` is
// repainted but takes no input; after half a second a modal dialog
// "Checking Mailbox" shows "Message N of M" with a progress bar and Cancel,
// which asks the work to stop between messages.
void RunWithMailboxProgress(QWidget& window, const std::function<void(CheckProgress&)>& work);

}  // namespace verdanpost::mailbox

#endif  // VERDANPOST_CONSOLE_MAILBOX_MAILBOX_PROGRESS_DIALOG_H_
