#include "console/mailbox/mailbox_progress_dialog.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "console/window/window_wait.h"

namespace verdanpost::mailbox {
namespace {

constexpr std::chrono::milliseconds kDialogDelay{500};

// The reading thread's progress, taken by the window's thread.
class SharedProgress : public CheckProgress {
 public:
  void Reading(int number, int messages) override {
    std::lock_guard<std::mutex> lock(mutex_);
    number_ = number;
    messages_ = messages;
  }
  bool CancelRequested() override { return cancel_.load(); }
  void RequestCancel() { cancel_ = true; }
  std::pair<int, int> Now() {
    std::lock_guard<std::mutex> lock(mutex_);
    return {number_, messages_};
  }

 private:
  std::atomic<bool> cancel_{false};
  std::mutex mutex_;
  int number_ = 0;
  int messages_ = 0;
};

class ProgressDialog : public QDialog {
 public:
  ProgressDialog(QWidget* parent, SharedProgress& progress) : QDialog(parent), progress_(progress) {
    setObjectName(QStringLiteral("MailboxProgress"));
    setWindowTitle(QStringLiteral("Checking Mailbox"));
    setWindowModality(Qt::WindowModal);
    label_ = new QLabel(QStringLiteral("Connecting"), this);
    label_->setObjectName(QStringLiteral("MessageNumber"));
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("Progress"));
    bar_->setAccessibleName(QStringLiteral("Messages read"));
    bar_->setRange(0, 1);
    bar_->setValue(0);
    auto* buttons = new QDialogButtonBox(this);
    cancel_ = buttons->addButton(QDialogButtonBox::Cancel);
    cancel_->setObjectName(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::rejected, this, &ProgressDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    layout->addWidget(bar_);
    layout->addWidget(buttons);
    setMinimumWidth(320);
  }

  void Update() {
    if (cancelled_) return;
    auto [number, messages] = progress_.Now();
    if (number == 0) return;
    label_->setText(QStringLiteral("Message %1 of %2").arg(number).arg(messages));
    bar_->setRange(0, std::max(messages, 1));
    bar_->setValue(number - 1);
  }

  // Cancel, Esc and closing only ask the reading to stop; the dialog stays
  // until it has.
  void reject() override {
    if (cancelled_) return;
    cancelled_ = true;
    cancel_->setEnabled(false);
    label_->setText(QStringLiteral("Stopping after this message"));
    progress_.RequestCancel();
  }

 private:
  SharedProgress& progress_;
  QLabel* label_;
  QProgressBar* bar_;
  QPushButton* cancel_;
  bool cancelled_ = false;
};

}  // namespace

void RunWithMailboxProgress(QWidget& window, const std::function<void(CheckProgress&)>& work) {
  SharedProgress progress;
  ProgressDialog dialog(&window, progress);
  RunWhileWindowWaits(
      window, dialog, [&work, &progress] { work(progress); }, [&dialog] { dialog.Update(); },
      DueAfter(kDialogDelay));
}

}  // namespace verdanpost::mailbox
