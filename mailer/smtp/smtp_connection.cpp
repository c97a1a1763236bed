#include "mailer/smtp/smtp_connection.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "mailer/smtp/server_address.h"
#include "mailer/smtp/socket_wait.h"

namespace verdanpost {
namespace {

using Clock = SmtpConnection::Clock;

constexpr char kTimedOut[] = "timed out";

std::string SystemReason(int error) { return std::strerror(error); }

// Connects a non-blocking socket to `addr` before `deadline`; `*why` says
// why not.
bool ConnectOne(int fd, const addrinfo* addr, Clock::time_point deadline, std::string* why) {
  int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
    *why = SystemReason(errno);
    return false;
  }
  if (::connect(fd, addr->ai_addr, addr->ai_addrlen) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) {
      *why = SystemReason(errno);
      return false;
    }
    if (!WaitForSocket(fd, POLLOUT, deadline)) {
      *why = kTimedOut;
      return false;
    }
    int error = 0;
    socklen_t length = sizeof(error);
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
      *why = SystemReason(error != 0 ? error : errno);
      return false;
    }
  }
  // Receives block (bounded by SO_RCVTIMEO); sends use MSG_DONTWAIT and poll.
  if (::fcntl(fd, F_SETFL, flags) < 0) return false;
  // Commands and replies alternate; do not hold small writes back.
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  return true;
}

// The words for a failed name lookup.
std::string LookupReason(int error) {
  switch (error) {
    case EAI_NONAME:
    case EAI_NODATA:
    case EAI_SERVICE:
      return "no such host";
    case EAI_AGAIN:
      return "the host name could not be looked up now";
    case EAI_SYSTEM:
      return SystemReason(errno);
    default:
      return ::gai_strerror(error);
  }
}

}  // namespace

SmtpConnection::~SmtpConnection() { Close(); }

SmtpConnection::ConnectResult SmtpConnection::Connect(const std::string& server_name,
                                                      std::chrono::milliseconds timeout) {
  Close();
  receive_timeout_ = std::chrono::microseconds::max();
  failure_reason_.clear();
  Clock::time_point deadline = Clock::now() + timeout;
  ServerAddress address = ParseServerName(server_name);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (int error = ::getaddrinfo(address.host.c_str(), address.port.c_str(), &hints, &found)) {
    failure_reason_ = LookupReason(error);
    return ConnectResult::kFailed;
  }
  bool socket_made = false;
  for (const addrinfo* a = found; a != nullptr && fd_ < 0; a = a->ai_next) {
    int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      if (failure_reason_.empty()) failure_reason_ = SystemReason(errno);
      continue;
    }
    socket_made = true;
    // The first address's reason is kept: later ones are fallbacks.
    std::string why;
    if (ConnectOne(fd, a, deadline, &why)) {
      fd_ = fd;
      failure_reason_.clear();
    } else {
      ::close(fd);
      if (failure_reason_.empty()) failure_reason_ = why;
    }
  }
  ::freeaddrinfo(found);
  if (fd_ >= 0) return ConnectResult::kConnected;
  return socket_made ? ConnectResult::kFailed : ConnectResult::kNoSocket;
}

bool SmtpConnection::SendAll(std::string_view bytes, std::chrono::milliseconds timeout, Flush flush,
                             size_t* sent_total) {
  if (sent_total != nullptr) *sent_total = 0;
  failure_reason_.clear();
  if (fd_ < 0) {
    failure_reason_ = "the connection is closed";
    return false;
  }
  if (tls_ != nullptr) {
    size_t written = 0;
    bool ok = tls_->Write(bytes, timeout, flush == Flush::kMore, &written);
    if (sent_total != nullptr) *sent_total = written;
    if (!ok) failure_reason_ = "the secure connection failed or timed out";
    return ok;
  }
  while (!bytes.empty()) {
    // The time-out bounds each wait for the server to take more, as the
    // protocol means it: a slow but steady transfer is no time-out.
    ssize_t sent = SendWhenReady(fd_, bytes, flush == Flush::kMore, Clock::now() + timeout);
    if (sent <= 0) {
      failure_reason_ = sent == 0 ? kTimedOut : SystemReason(errno);
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(sent));
    if (sent_total != nullptr) *sent_total += static_cast<size_t>(sent);
  }
  return true;
}

SmtpConnection::ReceiveResult SmtpConnection::Fill(Clock::time_point deadline) {
  if (begin_ < end_) return ReceiveResult::kData;
  failure_reason_.clear();
  if (fd_ < 0) {
    failure_reason_ = "the connection is closed";
    return ReceiveResult::kFailed;
  }
  begin_ = end_ = 0;
  if (tls_ != nullptr) {
    size_t got = 0;
    switch (tls_->Read(received_.data(), received_.size(), deadline, &got)) {
      case TlsStream::ReadResult::kData:
        end_ = got;
        return ReceiveResult::kData;
      case TlsStream::ReadResult::kClosed:
        failure_reason_ = "the server closed the connection";
        return ReceiveResult::kClosed;
      case TlsStream::ReadResult::kFailed:
        failure_reason_ = Clock::now() >= deadline ? kTimedOut : "the secure connection failed";
        return ReceiveResult::kFailed;
    }
  }
  for (;;) {
    auto remaining = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    if (remaining.count() <= 0) {
      failure_reason_ = kTimedOut;
      return ReceiveResult::kFailed;
    }
    // The socket's receive time-out bounds each blocking receive. It changes
    // only when it would overshoot the deadline by more than an eighth, so a
    // receive usually costs one system call; one that ends early just loops.
    if (receive_timeout_ > remaining + remaining / 8) {
      receive_timeout_ = std::max(remaining, std::chrono::microseconds(1000));
      timeval tv{};
      tv.tv_sec = static_cast<time_t>(receive_timeout_.count() / 1000000);
      tv.tv_usec = static_cast<suseconds_t>(receive_timeout_.count() % 1000000);
      if (::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv)) != 0) {
        failure_reason_ = SystemReason(errno);
        return ReceiveResult::kFailed;
      }
    }
    // Whatever arrives belongs to the reply being read or to a later one
    // (a pipelined envelope has several on their way); it waits here.
    ssize_t got = ::recv(fd_, received_.data(), received_.size(), 0);
    if (got > 0) {
      end_ = static_cast<size_t>(got);
      return ReceiveResult::kData;
    }
    if (got == 0) {
      failure_reason_ = "the server closed the connection";
      return ReceiveResult::kClosed;
    }
    if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      failure_reason_ = SystemReason(errno);
      return ReceiveResult::kFailed;
    }
  }
}

bool SmtpConnection::LooksIdle() {
  if (fd_ < 0 || begin_ < end_) return false;
  if (tls_ != nullptr) return true;
  char byte;
  ssize_t got = ::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

bool SmtpConnection::StartTls(const std::string& host, const std::string& ca_file,
                              Clock::time_point deadline, std::string* why) {
  if (fd_ < 0) {
    *why = "the connection is closed";
    return false;
  }
  // Bytes after the reply to STARTTLS came in plain text, where anyone on
  // the way could have put them; taken as replies inside TLS they would
  // answer commands the server never saw.
  if (begin_ < end_) {
    *why =
        "the server sent more than its reply to STARTTLS, which an attacker on the way could "
        "have added";
    return false;
  }
  tls_ = TlsStream::Start(fd_, host, ca_file, deadline, why);
  return tls_ != nullptr;
}

void SmtpConnection::Close() {
  if (tls_ != nullptr) {
    tls_->Shutdown();
    tls_.reset();
  }
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  begin_ = end_ = 0;
}

}  // namespace verdanpost
