#include "console/window/send_progress_dialog.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <utility>

#include <QApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace verdanpost {

namespace {

// How often the window's thread takes the send's progress into the dialog.
constexpr std::chrono::milliseconds kProgressPoll{50};

// The progress of the sending thread, taken by the window's thread.
class SharedProgress : public SendProgress {
 public:
  void MessageStarting(int number, int messages, int64_t reached) override {
    std::lock_guard<std::mutex> lock(mutex_);
    number_ = number;
    messages_ = messages;
    reached_ = reached;
    waiting_.clear();
    changed_ = true;
  }
  bool CancelRequested() override { return cancel_.load(); }
  void Waiting(const QString& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_ = text;
    changed_ = true;
  }

  void RequestCancel() { cancel_ = true; }
  // Into the dialog, when there is news.
  void Show(SendProgressDialog& dialog) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!changed_) return;
    changed_ = false;
    dialog.SetProgress(number_, messages_, reached_);
    if (!waiting_.isEmpty()) dialog.SetWaiting(waiting_);
  }

 private:
  std::atomic<bool> cancel_{false};
  std::mutex mutex_;
  int number_ = 0;
  int messages_ = 0;
  int64_t reached_ = 0;
  QString waiting_;
  bool changed_ = false;
};

// Swallows the operator's input to every widget but the dialog's while the
// send runs: the window takes none until the send ends, even before the
// dialog shows and makes it modal.
class InputBlocker : public QObject {
 public:
  explicit InputBlocker(const QWidget& dialog) : dialog_(dialog) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
      case QEvent::ContextMenu:
      case QEvent::Drop:
      case QEvent::Close:
        break;
      default:
        return false;
    }
    const auto* widget = qobject_cast<const QWidget*>(watched);
    if (widget == nullptr || widget->window() == &dialog_) return false;
    // An event that is filtered out stays accepted, and an accepted close
    // would close the window.
    event->ignore();
    return true;
  }

 private:
  const QWidget& dialog_;
};

}  // namespace

SendProgressDialog::SendProgressDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("SendProgress"));
  setWindowTitle(QStringLiteral("Sending Message"));
  setWindowModality(Qt::WindowModal);
  message_label_ = new QLabel(this);
  message_label_->setObjectName(QStringLiteral("MessageNumber"));
  reached_label_ = new QLabel(this);
  reached_label_->setObjectName(QStringLiteral("Reached"));
  bar_ = new QProgressBar(this);
  bar_->setObjectName(QStringLiteral("Progress"));
  bar_->setAccessibleName(QStringLiteral("Messages sent"));
  bar_->setRange(0, 1);
  bar_->setValue(0);
  auto* buttons = new QDialogButtonBox(this);
  cancel_ = buttons->addButton(QDialogButtonBox::Cancel);
  cancel_->setObjectName(QStringLiteral("Cancel"));
  connect(buttons, &QDialogButtonBox::rejected, this, &SendProgressDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(message_label_);
  layout->addWidget(reached_label_);
  layout->addWidget(bar_);
  layout->addWidget(buttons);
  setMinimumWidth(320);
  SetProgress(0, 0, 0);
}

void SendProgressDialog::SetProgress(int number, int messages, int64_t reached) {
  number_ = number;
  messages_ = messages;
  if (!cancel_requested_) {
    message_label_->setText(number == 0
                                ? QStringLiteral("Starting")
                                : QStringLiteral("Message %1 of %2").arg(number).arg(messages));
  }
  reached_label_->setText(reached == 1
                              ? QStringLiteral("1 subscriber reached so far")
                              : QStringLiteral("%1 subscribers reached so far").arg(reached));
  bar_->setRange(0, std::max(messages, 1));
  // The bar counts the messages done; the one on its way is not yet.
  bar_->setValue(std::max(number - 1, 0));
}

void SendProgressDialog::reject() {
  // The message on the wire is never cut off: the send stops after it.
  if (cancel_requested_) return;
  cancel_requested_ = true;
  cancel_->setEnabled(false);
  message_label_->setText(
      number_ == 0
          ? QStringLiteral("Cancelling")
          : QStringLiteral("Cancelling after message %1 of %2").arg(number_).arg(messages_));
  emit cancelRequested();
}

void SendProgressDialog::SetWaiting(const QString& text) {
  if (!cancel_requested_) message_label_->setText(text);
}

ProgressDialogDue DueAfter(std::chrono::milliseconds delay) {
  return [delay](std::function<void()> show) -> std::unique_ptr<QObject> {
    auto timer = std::make_unique<QTimer>();
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(delay);
    QObject::connect(timer.get(), &QTimer::timeout, std::move(show));
    timer->start();
    return timer;
  };
}

void RunWithProgressDialog(QWidget& window, const ProgressingSend& send,
                           const ProgressDialogDue& due) {
  SharedProgress progress;
  SendProgressDialog dialog(&window);
  QObject::connect(&dialog, &SendProgressDialog::cancelRequested,
                   [&progress] { progress.RequestCancel(); });
  InputBlocker blocker(dialog);
  qApp->installEventFilter(&blocker);

  QEventLoop loop;
  std::unique_ptr<QThread> thread(QThread::create([&send, &progress] { send(progress); }));
  // Queued to the window's thread, so the loop ends even when the send ends
  // before the loop has started.
  QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit,
                   Qt::QueuedConnection);
  QTimer poll;
  poll.setInterval(kProgressPoll);
  QObject::connect(&poll, &QTimer::timeout, [&progress, &dialog] { progress.Show(dialog); });
  thread->start();
  poll.start();
  std::unique_ptr<QObject> show = due([&progress, &dialog] {
    progress.Show(dialog);
    dialog.show();
  });
  loop.exec();
  show.reset();
  thread->wait();
  qApp->removeEventFilter(&blocker);
  const bool shown = dialog.isVisible();
  dialog.hide();
  // Without a window manager nobody hands the keyboard back to the window.
  if (shown) window.activateWindow();
}

}  // namespace verdanpost
