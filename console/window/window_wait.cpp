#include "console/window/window_wait.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace verdanpost {

namespace {

// How often the window's thread takes the work's progress into the dialog.
constexpr std::chrono::milliseconds kProgressPoll{50};

// Swallows the operator's input to every widget but the dialog's while the
// work runs: the window takes none until the work ends, even before the
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

void RunWhileWindowWaits(QWidget& window, QDialog& dialog, const std::function<void()>& work,
                         const std::function<void()>& update, const ProgressDialogDue& due) {
  InputBlocker blocker(dialog);
  qApp->installEventFilter(&blocker);

  QEventLoop loop;
  std::unique_ptr<QThread> thread(QThread::create(work));
  // Queued to the window's thread, so the loop ends even when the work ends
  // before the loop has started.
  QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit,
                   Qt::QueuedConnection);
  QTimer poll;
  poll.setInterval(kProgressPoll);
  QObject::connect(&poll, &QTimer::timeout, update);
  thread->start();
  poll.start();
  std::unique_ptr<QObject> show = due([&update, &dialog] {
    update();
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
