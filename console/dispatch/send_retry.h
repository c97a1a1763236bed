#ifndef VERDANPOST_CONSOLE_DISPATCH_SEND_RETRY_H_
#define VERDANPOST_CONSOLE_DISPATCH_SEND_RETRY_H_

#include <chrono>
#include <optional>

#include <QDateTime>
#include <QString>

#include "console/dispatch/send_progress.h"

namespace verdanpost {

// The clock a bulk send waits by. Abstract so tests wait no time at all.
class SendWaiter {
 public:
  virtual ~SendWaiter() = default;

  virtual QDateTime Now() = 0;
  // Waits until `until`, asking `progress` for Cancel now and then; false
  // when the operator cancelled.
  virtual bool WaitUntil(const QDateTime& until, SendProgress& progress) = 0;
};

// The pauses before the tries again of a subscriber or message that failed
// for now: 1, 2, 5, 10, 30 minutes, then every 30 minutes, until the pauses
// of the send would add up to more than `limit`.
class RetrySchedule {
 public:
  explicit RetrySchedule(std::chrono::minutes limit) : limit_(limit) {}

  // The next pause, or nullopt when it would go past the limit.
  std::optional<std::chrono::minutes> Next();
  // A message got through: the next pause is the shortest again (the
  // limit still counts every pause of the send).
  void Reset() { step_ = 0; }

 private:
  std::chrono::minutes limit_;
  std::chrono::minutes waited_{0};
  int step_ = 0;
};

// How a bulk send waits: by whom, and for at most how long in all.
struct SendRetries {
  SendWaiter* waiter = nullptr;
  std::chrono::minutes limit{0};
};

// The ones bulk sends use: the system's clock and a day, unless a test has
// put its own in place with ScopedSendRetriesForTesting.
SendRetries CurrentSendRetries();

// For tests: sends made while it lives use `retries`.
class ScopedSendRetriesForTesting {
 public:
  explicit ScopedSendRetriesForTesting(SendRetries retries);
  ~ScopedSendRetriesForTesting();
  ScopedSendRetriesForTesting(const ScopedSendRetriesForTesting&) = delete;
  ScopedSendRetriesForTesting& operator=(const ScopedSendRetriesForTesting&) = delete;

 private:
  SendRetries saved_;
};

// "Waiting until 14:32 before trying again: REASON".
QString WaitingUntil(const QDateTime& until, const QString& reason);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_SEND_RETRY_H_
