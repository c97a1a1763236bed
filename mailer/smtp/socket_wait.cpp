#include "mailer/smtp/socket_wait.h"

#include <poll.h>

#include <cerrno>

namespace verdanpost {
namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds left until `deadline`, for poll(); 0 once it has passed. One
// more than the rounded-down rest, so that a wait never ends just short of
// the deadline and loops on a zero time-out.
int MillisecondsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() <= 0) return 0;
  if (left.count() > 1 << 30) return 1 << 30;
  return static_cast<int>(left.count()) + 1;
}

}  // namespace

bool WaitForSocket(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    int ready = ::poll(&p, 1, MillisecondsLeft(deadline));
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

}  // namespace verdanpost
