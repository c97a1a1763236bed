#ifndef VERDANPOST_TESTING_LOOPBACK_LISTENER_H_
#define VERDANPOST_TESTING_LOOPBACK_LISTENER_H_

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace verdanpost::testing_support {

// A listening TCP socket on a loopback address for a server that tests and
// benches run in a thread of their own, with the signal that ends that
// thread: after Stop(), every wait below returns at once. The owner calls
// Stop() and joins its thread before this object goes.
class LoopbackListener {
 public:
  // Listens on `address` ("127.0.0.1", "::1", ...) at `port` (0: any free
  // one). Throws std::runtime_error, its text starting with `owner`, when it
  // cannot.
  LoopbackListener(const std::string& owner, const std::string& address = "127.0.0.1",
                   uint16_t port = 0);
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  uint16_t port() const { return port_; }
  bool ipv6() const { return ipv6_; }

  // Wakes every wait, now and later.
  void Stop();

  // The next connection, accepted; -1 once stopped.
  int Accept();
  // Waits until a connection is waiting to be taken by TakeConnection();
  // false once stopped.
  bool WaitForConnection() const;
  // Accepts a waiting connection; -1 when it went away meanwhile.
  int TakeConnection();
  // Whether a connection is waiting now.
  bool HasWaitingConnection() const;

  // Waits until `fd` has something to read (or its end); false once stopped.
  bool WaitReadable(int fd) const;
  // Waits up to `limit` for Stop(); true when it came (the caller then ends).
  bool WaitForStop(std::chrono::milliseconds limit) const;

 private:
  int listen_fd_ = -1;
  int stop_pipe_[2] = {-1, -1};  // written to by Stop()
  uint16_t port_ = 0;
  bool ipv6_ = false;
};

// Sends every byte of `bytes` on `fd`, stopping quietly when the peer has
// gone (no SIGPIPE).
void SendAll(int fd, std::string_view bytes);

}  // namespace verdanpost::testing_support

#endif  // VERDANPOST_TESTING_LOOPBACK_LISTENER_H_
