#ifndef VERDANPOST_BENCH_DELAY_PROXY_H_
#define VERDANPOST_BENCH_DELAY_PROXY_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "testing/loopback_listener.h"

namespace verdanpost::bench {

// A TCP relay on loopback that stands in for a distant server: it forwards
// each connection to 127.0.0.1:`target_port` and holds every segment it
// reads `delay` before passing it on, in each direction. It also counts
// the conversation's turns: the times the client sent after the server.
class DelayProxy {
 public:
  DelayProxy(uint16_t target_port, std::chrono::milliseconds delay);
  ~DelayProxy();
  DelayProxy(const DelayProxy&) = delete;
  DelayProxy& operator=(const DelayProxy&) = delete;

  uint16_t port() const { return listener_.port(); }
  // Turns so far, over all connections; a client's wait for a reply is one.
  long turns() const { return turns_; }

 private:
  void Serve();
  void Relay(int client, int server);

  uint16_t target_port_;
  std::chrono::milliseconds delay_;
  testing_support::LoopbackListener listener_;
  std::atomic<long> turns_{0};
  std::mutex mutex_;
  std::vector<std::thread> relays_;
  std::thread thread_;
};

}  // namespace verdanpost::bench

#endif  // VERDANPOST_BENCH_DELAY_PROXY_H_
