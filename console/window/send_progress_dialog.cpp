#include "console/window/send_progress_dialog.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace verdanpost {

namespace {

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

void RunWithProgressDialog(QWidget& window, const ProgressingSend& send,
                           const ProgressDialogDue& due) {
  SharedProgress progress;
  SendProgressDialog dialog(&window);
  QObject::connect(&dialog, &SendProgressDialog::cancelRequested,
                   [&progress] { progress.RequestCancel(); });
  RunWhileWindowWaits(
      window, dialog, [&send, &progress] { send(progress); },
      [&progress, &dialog] { progress.Show(dialog); }, due);
}

}  // namespace verdanpost
