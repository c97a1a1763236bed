#ifndef VERDANPOST_CONSOLE_WINDOW_SEND_PROGRESS_DIALOG_H_
#define VERDANPOST_CONSOLE_WINDOW_SEND_PROGRESS_DIALOG_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include <QDialog>

#include "console/dispatch/send_progress.h"
#include "console/window/window_wait.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace verdanpost {

// How long a send runs before its progress dialog shows.
inline constexpr std::chrono::milliseconds kProgressDialogDelay{500};

// The modal dialog over the window while a bulk send runs, titled "Sending
// Message": "Message N of M", the subscribers reached so far, a progress bar
// of the messages done, and Cancel. Cancel, Esc and closing it only ask the
// send to stop (cancelRequested); the dialog stays until the send has ended.
class SendProgressDialog : public QDialog {
  Q_OBJECT

 public:
  explicit SendProgressDialog(QWidget* parent);

  // Message `number` of `messages` is on its way; `reached` subscribers have it.
  void SetProgress(int number, int messages, int64_t reached);
  // The send waits before it tries again: `text` stands where the message
  // number did, until the next SetProgress.
  void SetWaiting(const QString& text);

 signals:
  void cancelRequested();

 public slots:
  void reject() override;

 private:
  QLabel* message_label_;
  QLabel* reached_label_;
  QProgressBar* bar_;
  QPushButton* cancel_;
  int number_ = 0;  // the message on its way; 0 before the first
  int messages_ = 0;
  bool cancel_requested_ = false;
};

// Runs `send` on a thread of its own and returns once it has ended. The
// window's thread meanwhile keeps turning its event loop, so `window` is
// repainted, but the window takes no input; once the dialog is due (by
// default when the send has run for kProgressDialogDelay), a
// SendProgressDialog shows over it and passes its Cancel on to the send.
void RunWithProgressDialog(QWidget& window, const ProgressingSend& send,
                           const ProgressDialogDue& due = DueAfter(kProgressDialogDelay));

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_WINDOW_SEND_PROGRESS_DIALOG_H_
