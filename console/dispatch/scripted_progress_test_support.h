#ifndef VERDANPOST_CONSOLE_DISPATCH_SCRIPTED_PROGRESS_TEST_SUPPORT_H_
#define VERDANPOST_CONSOLE_DISPATCH_SCRIPTED_PROGRESS_TEST_SUPPORT_H_

#include <cstdint>

#include <QString>
#include <QStringList>

#include "console/dispatch/send_progress.h"

namespace verdanpost::testing_support {

// A send's progress, scripted: records one "N/M reached R" in *seen for each
// message started, and asks for Cancel once message `cancel_at` has started
// (0: never). *seen must outlive it.
class ScriptedProgress : public SendProgress {
 public:
  explicit ScriptedProgress(QStringList* seen, int cancel_at = 0)
      : seen_(seen), cancel_at_(cancel_at) {}

  void MessageStarting(int number, int messages, int64_t reached) override {
    seen_->append(QString("%1/%2 reached %3").arg(number).arg(messages).arg(reached));
    if (number == cancel_at_) cancel_ = true;
  }
  bool CancelRequested() override { return cancel_; }

 private:
  QStringList* seen_;
  const int cancel_at_;
  bool cancel_ = false;
};

}  // namespace verdanpost::testing_support

#endif  // VERDANPOST_CONSOLE_DISPATCH_SCRIPTED_PROGRESS_TEST_SUPPORT_H_
