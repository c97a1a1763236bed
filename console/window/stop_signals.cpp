#include "console/window/stop_signals.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace verdanpost {

namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGHUP};

// The pipe's two ends: the handler writes into [0], the notifier reads [1].
int signal_pipe[2] = {-1, -1};

void OnStopSignal(int signal_number) {
  // Only async-signal-safe work here: one write, errno kept as it was.
  const int saved_errno = errno;
  const char byte = static_cast<char>(signal_number);
  [[maybe_unused]] const ssize_t written = ::write(signal_pipe[0], &byte, 1);
  errno = saved_errno;
}

}  // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signal_pipe) != 0) {
    signal_pipe[0] = signal_pipe[1] = -1;
    return;
  }
  notifier_ = new QSocketNotifier(signal_pipe[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::ReadSignals);
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal_number : kStopSignals) ::sigaction(signal_number, &action, nullptr);
}

StopSignals::~StopSignals() {
  if (notifier_ == nullptr) return;
  for (const int signal_number : kStopSignals) ::signal(signal_number, SIG_DFL);
  ::close(signal_pipe[0]);
  ::close(signal_pipe[1]);
  signal_pipe[0] = signal_pipe[1] = -1;
}

void StopSignals::ReadSignals() {
  char byte = 0;
  while (::read(signal_pipe[1], &byte, 1) == 1)
    emit stopRequested(static_cast<unsigned char>(byte));
}

}  // namespace verdanpost
