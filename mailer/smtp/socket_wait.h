#ifndef VERDANPOST_MAILER_SMTP_SOCKET_WAIT_H_
#define VERDANPOST_MAILER_SMTP_SOCKET_WAIT_H_

#include <sys/types.h>

#include <chrono>
#include <string_view>

namespace verdanpost {

// Waits until the socket `fd` is ready for the poll `events` (POLLIN,
// POLLOUT), at most until `deadline`; false on time-out or failure. A signal
// that interrupts the wait does not end it.
bool WaitForSocket(int fd, short events, std::chrono::steady_clock::time_point deadline);

// One send of as much of `bytes` as the socket `fd` takes, waiting for room
// at most until `deadline`. With MSG_NOSIGNAL, so a peer that went away fails
// the send instead of raising SIGPIPE; `more`: further bytes follow at once,
// so the system may hold back a partial segment. Returns the bytes sent (at
// least one), 0 when the wait for room ended first, -1 when the send failed.
ssize_t SendWhenReady(int fd, std::string_view bytes, bool more,
                      std::chrono::steady_clock::time_point deadline);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_SOCKET_WAIT_H_
