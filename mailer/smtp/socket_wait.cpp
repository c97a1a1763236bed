#include "mailer/smtp/socket_wait.h"

#include <poll.h>
#include <sys/socket.h>

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

ssize_t SendWhenReady(int fd, std::string_view bytes, bool more, Clock::time_point deadline) {
  int flags = MSG_NOSIGNAL | MSG_DONTWAIT | (more ? MSG_MORE : 0);
  for (;;) {
    ssize_t sent = ::send(fd, bytes.data(), bytes.size(), flags);
    if (sent > 0) return sent;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitForSocket(fd, POLLOUT, deadline)) return 0;
    } else if (!(sent < 0 && errno == EINTR)) {
      return -1;
    }
  }
}

}  // namespace verdanpost
