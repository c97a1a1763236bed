#include "console/dispatch/send_retry.h"

#include <array>
#include <thread>

namespace verdanpost {

namespace {

using std::chrono::minutes;

// Waits by the system's clock, looking for Cancel every tenth of a second.
class SystemWaiter : public SendWaiter {
 public:
  QDateTime Now() override { return QDateTime::currentDateTime(); }
  bool WaitUntil(const QDateTime& until, SendProgress& progress) override {
    while (QDateTime::currentDateTime() < until) {
      if (progress.CancelRequested()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return !progress.CancelRequested();
  }
};

SendRetries& Installed() {
  static SystemWaiter system;
  static SendRetries retries{&system, std::chrono::hours(24)};
  return retries;
}

}  // namespace

std::optional<minutes> RetrySchedule::Next() {
  static constexpr std::array<minutes, 5> kPauses = {minutes(1), minutes(2), minutes(5),
                                                     minutes(10), minutes(30)};
  const minutes pause = kPauses[std::min<size_t>(step_, kPauses.size() - 1)];
  if (waited_ + pause > limit_) return std::nullopt;
  waited_ += pause;
  ++step_;
  return pause;
}

SendRetries CurrentSendRetries() { return Installed(); }

ScopedSendRetriesForTesting::ScopedSendRetriesForTesting(SendRetries retries)
    : saved_(Installed()) {
  Installed() = retries;
}

ScopedSendRetriesForTesting::~ScopedSendRetriesForTesting() { Installed() = saved_; }

QString WaitingUntil(const QDateTime& until, const QString& reason) {
  return QStringLiteral("Waiting until %1 before trying again: %2")
      .arg(until.toString(QStringLiteral("HH:mm")), reason);
}

}  // namespace verdanpost
