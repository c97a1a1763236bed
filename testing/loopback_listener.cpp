#include "testing/loopback_listener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace verdanpost::testing_support {
namespace {

// Polls `fd` and `stop` until one is ready; false when `stop` is, or on error.
bool PollUnlessStopped(int fd, int stop) {
  for (;;) {
    pollfd p[2] = {{fd, POLLIN, 0}, {stop, POLLIN, 0}};
    if (::poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    return p[1].revents == 0;
  }
}

}  // namespace

LoopbackListener::LoopbackListener(const std::string& owner, const std::string& address,
                                   uint16_t port) {
  ipv6_ = address.find(':') != std::string::npos;
  sockaddr_storage storage{};
  socklen_t length;
  int parsed;
  if (ipv6_) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(port);
    parsed = ::inet_pton(AF_INET6, address.c_str(), &in6->sin6_addr);
    length = sizeof(*in6);
  } else {
    auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
    in4->sin_family = AF_INET;
    in4->sin_port = htons(port);
    parsed = ::inet_pton(AF_INET, address.c_str(), &in4->sin_addr);
    length = sizeof(*in4);
  }
  if (parsed != 1) throw std::runtime_error(owner + ": bad address " + address);
  listen_fd_ = ::socket(ipv6_ ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) throw std::runtime_error(owner + ": cannot create a socket");
  int one = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&storage), length) != 0 ||
      ::listen(listen_fd_, 16) != 0 ||
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&storage), &length) != 0 ||
      ::pipe2(stop_pipe_, O_CLOEXEC) != 0) {
    ::close(listen_fd_);
    throw std::runtime_error(owner + ": cannot listen on " + address);
  }
  port_ = ntohs(ipv6_ ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                      : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
}

LoopbackListener::~LoopbackListener() {
  ::close(stop_pipe_[0]);
  ::close(stop_pipe_[1]);
  ::close(listen_fd_);
}

void LoopbackListener::Stop() {
  char stop = 's';
  (void)!::write(stop_pipe_[1], &stop, 1);
}

int LoopbackListener::Accept() {
  while (WaitForConnection()) {
    int fd = TakeConnection();
    if (fd >= 0) return fd;
  }
  return -1;
}

bool LoopbackListener::WaitForConnection() const { return WaitReadable(listen_fd_); }

int LoopbackListener::TakeConnection() {
  return ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
}

bool LoopbackListener::HasWaitingConnection() const {
  pollfd p{listen_fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0;
}

bool LoopbackListener::WaitReadable(int fd) const { return PollUnlessStopped(fd, stop_pipe_[0]); }

bool LoopbackListener::WaitForStop(std::chrono::milliseconds limit) const {
  pollfd stop{stop_pipe_[0], POLLIN, 0};
  return ::poll(&stop, 1, static_cast<int>(limit.count())) != 0;
}

void SendAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t sent = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (sent <= 0) return;
    done += static_cast<size_t>(sent);
  }
}

}  // namespace verdanpost::testing_support
