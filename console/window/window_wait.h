#ifndef VERDANPOST_CONSOLE_WINDOW_WINDOW_WAIT_H_
#define VERDANPOST_CONSOLE_WINDOW_WINDOW_WAIT_H_

#include <chrono>
#include <functional>
#include <memory>

#include <QDialog>
#include <QObject>
#include <QWidget>

namespace verdanpost {

// When a progress dialog is due: called as the work starts with the step
// that shows the dialog, it arranges for that step to run on the window's
// thread and returns what arranged it; destroying that cancels the step
// (the work ended first).
using ProgressDialogDue = std::function<std::unique_ptr<QObject>(std::function<void()> show)>;

// The dialog due once the work has run for `delay`.
ProgressDialogDue DueAfter(std::chrono::milliseconds delay);

// Runs `work` on a thread of its own and returns once it has ended. The
// window's thread meanwhile keeps turning its event loop, so `window` is
// repainted, but no window takes the operator's input except `dialog`,
// even before it shows. Every 50 ms, and just before `dialog` shows when
// `due` says, `update` brings the work's progress into the dialog. The
// window gets the keyboard back after a dialog that showed.
void RunWhileWindowWaits(QWidget& window, QDialog& dialog, const std::function<void()>& work,
                         const std::function<void()>& update, const ProgressDialogDue& due);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_WINDOW_WINDOW_WAIT_H_
