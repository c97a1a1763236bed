// The progress dialog of a long send and the driver that runs the send off
// the window's thread, with a scripted send that waits for what the dialog
// shows and a dialog that is due when the test says so, so that nothing
// depends on how fast the machine is.

#include "console/window/send_progress_dialog.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include "console/window/test_application_test_support.h"

namespace verdanpost {
namespace {

using namespace std::chrono_literals;

// A window with a text box and a button, counting its paints and clicks.
class Window : public QWidget {
 public:
  Window() {
    auto* layout = new QVBoxLayout(this);
    box = new QLineEdit(this);
    button = new QPushButton(QStringLiteral("&Send Message"), this);
    layout->addWidget(box);
    layout->addWidget(button);
    QObject::connect(button, &QPushButton::clicked, [this] { ++clicks; });
    resize(300, 200);
  }
  bool event(QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return QWidget::event(e);
  }
  QLineEdit* box;
  QPushButton* button;
  int clicks = 0;
  int paints = 0;
};

class SendProgressDialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing_support::EnsureTestApplication(); }

  void SetUp() override {
    window_.show();
    // The checks run inside the send's event loop, on the window's thread.
    watch_.setInterval(5);
    QObject::connect(&watch_, &QTimer::timeout, [this] { Watch(); });
  }

  SendProgressDialog* Dialog() { return window_.findChild<SendProgressDialog*>(); }
  QString Label(const char* name) {
    SendProgressDialog* dialog = Dialog();
    if (dialog == nullptr) return QString();
    return dialog->findChild<QLabel*>(QString::fromLatin1(name))->text();
  }

  // Runs on the window's thread every few milliseconds during the send.
  void Watch() {
    SendProgressDialog* dialog = Dialog();
    const bool visible = dialog != nullptr && dialog->isVisible();
    if (visible) ever_shown_ = true;
    const QString label = Label("MessageNumber");
    if (visible && (seen_.isEmpty() || seen_.back() != label)) seen_ << label;
    if (on_watch_) on_watch_(dialog, visible, label);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      shown_label_ = visible ? label : QString();
    }
    changed_.notify_all();
  }

  // On the sending thread: waits until the visible dialog shows `label`.
  bool WaitForShown(const QString& label) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, 20s, [&] { return shown_label_ == label; });
  }

  // On the sending thread: waits until the window's thread has seen `done`
  // hold (the next watch after it began to).
  bool WaitUntil(const std::function<bool()>& done) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, 20s, done);
  }

  // Runs the send; its dialog is due only once the test calls show_dialog_.
  void Run(const ProgressingSend& send) {
    watch_.start();
    RunWithProgressDialog(window_, send, [this](std::function<void()> show) {
      show_dialog_ = std::move(show);
      dialog_arranged_ = true;
      auto arranged = std::make_unique<QObject>();
      QObject::connect(arranged.get(), &QObject::destroyed, [this] { show_dialog_ = nullptr; });
      return arranged;
    });
    watch_.stop();
  }

  static void Press(QWidget* target, Qt::Key key, const QString& text = QString()) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
  }

  Window window_;
  QTimer watch_;
  std::function<void()> show_dialog_;  // set while the send runs
  std::atomic<bool> dialog_arranged_{false};
  bool ever_shown_ = false;
  QStringList seen_;  // the dialog's "Message N of M" texts while it was visible
  std::function<void(SendProgressDialog*, bool, const QString&)> on_watch_;
  std::mutex mutex_;
  std::condition_variable changed_;
  QString shown_label_;
};

TEST_F(SendProgressDialogTest, ShowsWhenDueAndCountsEveryMessage) {
  std::thread::id sender;
  QString title;
  Qt::WindowModality modality = Qt::NonModal;
  int bar_value = -1, bar_maximum = -1;
  QString reached;
  std::atomic<bool> second_reported{false};
  std::atomic<bool> hidden_before_due{true};
  on_watch_ = [&](SendProgressDialog* dialog, bool visible, const QString& label) {
    if (show_dialog_ && !visible) {
      // Not due yet: nothing shows, whatever the send has reported.
      if (!second_reported) return;
      show_dialog_();
      return;
    }
    if (visible && !second_reported) hidden_before_due = false;
    if (!visible || label != "Message 4 of 4") return;
    reached = Label("Reached");
    title = dialog->windowTitle();
    modality = dialog->windowModality();
    bar_value = dialog->findChild<QProgressBar*>()->value();
    bar_maximum = dialog->findChild<QProgressBar*>()->maximum();
  };
  Run([&](SendProgress& progress) {
    sender = std::this_thread::get_id();
    progress.MessageStarting(1, 4, 0);
    progress.MessageStarting(2, 4, 100);
    second_reported = true;
    // Shown when due, with the message on its way then.
    EXPECT_TRUE(WaitForShown("Message 2 of 4"));
    for (int number = 3; number <= 4; ++number) {
      progress.MessageStarting(number, 4, (number - 1) * 100);
      EXPECT_TRUE(WaitForShown(QString("Message %1 of 4").arg(number))) << number;
    }
  });
  EXPECT_NE(sender, std::this_thread::get_id());
  EXPECT_TRUE(hidden_before_due);
  EXPECT_EQ(seen_, QStringList({"Message 2 of 4", "Message 3 of 4", "Message 4 of 4"}));
  EXPECT_EQ(title, "Sending Message");
  EXPECT_EQ(modality, Qt::WindowModal);
  EXPECT_EQ(bar_value, 3);
  EXPECT_EQ(bar_maximum, 4);
  EXPECT_EQ(reached, "300 subscribers reached so far");
  EXPECT_EQ(Dialog(), nullptr);
}

TEST_F(SendProgressDialogTest, SendThatEndsBeforeItsDialogIsDueShowsNone) {
  bool arranged = false;
  Run([&](SendProgress& progress) {
    progress.MessageStarting(1, 1, 0);
    EXPECT_TRUE(WaitUntil([&] { return dialog_arranged_.load(); }));
    arranged = true;
  });
  EXPECT_TRUE(arranged);
  EXPECT_FALSE(ever_shown_);
  // What would have shown the dialog is cancelled with the send's end.
  EXPECT_FALSE(show_dialog_);
  EXPECT_EQ(Dialog(), nullptr);
}

TEST_F(SendProgressDialogTest, EscapeAsksTheSendToStopAfterTheMessageOnTheWire) {
  bool escape_pressed = false;
  bool button_enabled_after = true;
  QString cancelling;
  on_watch_ = [&](SendProgressDialog* dialog, bool visible, const QString& label) {
    if (show_dialog_ && !visible) show_dialog_();
    if (visible && label == "Message 3 of 10" && !escape_pressed) {
      escape_pressed = true;
      QWidget* focus = QApplication::focusWidget();
      Press(focus != nullptr && focus->window() == dialog ? focus : dialog, Qt::Key_Escape);
      button_enabled_after = dialog->findChild<QPushButton*>("Cancel")->isEnabled();
      cancelling = Label("MessageNumber");
    }
  };
  int finished = 0;
  Run([&](SendProgress& progress) {
    for (int number = 1; number <= 10 && !progress.CancelRequested(); ++number) {
      progress.MessageStarting(number, 10, 0);
      if (number == 3) {
        // On the wire until the operator has pressed Esc.
        EXPECT_TRUE(WaitUntil([&] { return progress.CancelRequested(); }));
      } else if (number < 3) {
        WaitForShown(QString("Message %1 of 10").arg(number));
      }
      ++finished;
    }
  });
  EXPECT_TRUE(escape_pressed);
  EXPECT_EQ(finished, 3);
  EXPECT_FALSE(button_enabled_after);
  EXPECT_EQ(cancelling, "Cancelling after message 3 of 10");
}

TEST_F(SendProgressDialogTest, AWaitIsShownUntilTheNextMessageAndEscapeEndsIt) {
  const QString waiting = "Waiting until 14:32 before trying again: 450 4.7.1 rate limit exceeded";
  on_watch_ = [&](SendProgressDialog* dialog, bool visible, const QString& label) {
    if (show_dialog_ && !visible) show_dialog_();
    if (visible && label == waiting) {
      QWidget* focus = QApplication::focusWidget();
      Press(focus != nullptr && focus->window() == dialog ? focus : dialog, Qt::Key_Escape);
    }
  };
  bool cancelled = false;
  Run([&](SendProgress& progress) {
    progress.MessageStarting(1, 2, 0);
    EXPECT_TRUE(WaitForShown("Message 1 of 2"));
    progress.Waiting(waiting);
    cancelled = WaitUntil([&] { return progress.CancelRequested(); });
  });
  EXPECT_TRUE(cancelled);
  EXPECT_TRUE(seen_.contains(waiting));
}

TEST_F(SendProgressDialogTest, WindowIsRepaintedButTakesNoInputUntilTheSendEnds) {
  window_.box->setFocus();
  bool closed = true;
  int paints_during = 0;
  std::atomic<bool> poked{false};
  on_watch_ = [&](SendProgressDialog*, bool, const QString&) {
    if (poked) return;
    poked = true;
    const int paints_before = window_.paints;
    window_.update();
    QApplication::processEvents();
    paints_during = window_.paints - paints_before;
    Press(window_.box, Qt::Key_X, "x");
    const QPointF center = QRectF(window_.button->rect()).center();
    QMouseEvent down(QEvent::MouseButtonPress, center, window_.button->mapToGlobal(center),
                     Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent up(QEvent::MouseButtonRelease, center, window_.button->mapToGlobal(center),
                   Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(window_.button, &down);
    QApplication::sendEvent(window_.button, &up);
    closed = window_.close();
  };
  Run([&](SendProgress&) { EXPECT_TRUE(WaitUntil([&] { return poked.load(); })); });
  EXPECT_GT(paints_during, 0);
  EXPECT_EQ(window_.box->text(), "");
  EXPECT_EQ(window_.clicks, 0);
  EXPECT_FALSE(closed);
  EXPECT_TRUE(window_.isVisible());
  // Afterwards the window takes input again.
  Press(window_.box, Qt::Key_X, "x");
  EXPECT_EQ(window_.box->text(), "x");
}

}  // namespace
}  // namespace verdanpost
