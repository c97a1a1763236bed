#ifndef VERDANPOST_CONSOLE_DISPATCH_SCRIPTED_PROGRESS_TEST_SUPPORT_H_
#define VERDANPOST_CONSOLE_DISPATCH_SCRIPTED_PROGRESS_TEST_SUPPORT_H_

#include <chrono>
#include <cstdint>

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTime>

#include "console/dispatch/send_progress.h"
#include "console/dispatch/send_retry.h"

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
  void Waiting(const QString& text) override { seen_->append("wait: " + text); }

 private:
  QStringList* seen_;
  const int cancel_at_;
  bool cancel_ = false;
};

// A send's clock that waits no time: each wait moves it on to its end, and
// is told in *waits as "until HH:mm". Starts at 14:00 on a day in December.
class InstantWaiter : public SendWaiter {
 public:
  explicit InstantWaiter(QStringList* waits = nullptr) : waits_(waits) {}

  QDateTime Now() override { return now_; }
  // The clock jumps, as from one day's run to the next.
  void set_now(const QDateTime& now) { now_ = now; }
  bool WaitUntil(const QDateTime& until, SendProgress& progress) override {
    if (waits_ != nullptr) waits_->append("until " + until.toString("HH:mm"));
    now_ = until;
    return !progress.CancelRequested();
  }

 private:
  QStringList* waits_;
  QDateTime now_{QDate(2026, 12, 8), QTime(14, 0)};
};

// Sends that never wait and never try again, as the tests of what a send
// does on its first try want them.
struct NoRetries {
  InstantWaiter waiter;
  ScopedSendRetriesForTesting scope{{&waiter, std::chrono::minutes(0)}};
};

}  // namespace verdanpost::testing_support

#endif  // VERDANPOST_CONSOLE_DISPATCH_SCRIPTED_PROGRESS_TEST_SUPPORT_H_
