#ifndef VERDANPOST_MAILER_SMTP_SOCKET_WAIT_H_
#define VERDANPOST_MAILER_SMTP_SOCKET_WAIT_H_

#include <chrono>

namespace verdanpost {

// Waits until the socket `fd` is ready for the poll `events` (POLLIN,
// POLLOUT), at most until `deadline`; false on time-out or failure. A signal
// that interrupts the wait does not end it.
bool WaitForSocket(int fd, short events, std::chrono::steady_clock::time_point deadline);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_SOCKET_WAIT_H_
