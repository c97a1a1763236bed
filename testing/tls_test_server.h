#ifndef VERDANPOST_TESTING_TLS_TEST_SERVER_H_
#define VERDANPOST_TESTING_TLS_TEST_SERVER_H_

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "testing/loopback_listener.h"

namespace verdanpost::testing_support {

// A TLS server on a loopback socket, in its own thread, serving connections
// one after another. With `plain_first` it first greets in plain text
// ("220 ready"), takes one line and answers "220 go ahead" before the
// handshake, as an upgrade does. In TLS it takes data and, each time what it
// holds ends with CR LF "." CR LF, answers "250 N" with N the bytes taken
// since the last answer.
class TlsTestServer {
 public:
  TlsTestServer(const std::string& certificate, const std::string& key, bool plain_first);
  ~TlsTestServer();
  TlsTestServer(const TlsTestServer&) = delete;
  TlsTestServer& operator=(const TlsTestServer&) = delete;

  uint16_t port() const { return listener_.port(); }
  // Handshakes that completed so far.
  int handshakes() const { return handshakes_; }

 private:
  void Serve();
  void ServeConnection(int fd);

  std::string certificate_;
  std::string key_;
  bool plain_first_;
  LoopbackListener listener_;
  std::atomic<int> handshakes_{0};
  std::thread thread_;
};

}  // namespace verdanpost::testing_support

#endif  // VERDANPOST_TESTING_TLS_TEST_SERVER_H_
