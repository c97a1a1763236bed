#include "bench/delay_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <string>

namespace verdanpost::bench {
namespace {

using Clock = std::chrono::steady_clock;

// The segments of one direction waiting for their time; an empty one ends it.
struct Queue {
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<std::pair<Clock::time_point, std::string>> held;
};

// Reads from `from` into `queue`; each segment leaves `delay` after it came.
void Read(int from, Queue* queue, std::chrono::milliseconds delay, std::function<void()> on_data) {
  std::string buffer(64 * 1024, '\0');
  for (;;) {
    ssize_t got = ::recv(from, buffer.data(), buffer.size(), 0);
    std::lock_guard<std::mutex> lock(queue->mutex);
    if (got <= 0) {
      queue->held.emplace_back(Clock::now() + delay, std::string());
      queue->ready.notify_one();
      return;
    }
    if (on_data) on_data();
    queue->held.emplace_back(Clock::now() + delay, buffer.substr(0, static_cast<size_t>(got)));
    queue->ready.notify_one();
  }
}

void Write(int to, Queue* queue) {
  for (;;) {
    std::pair<Clock::time_point, std::string> next;
    {
      std::unique_lock<std::mutex> lock(queue->mutex);
      queue->ready.wait(lock, [queue] { return !queue->held.empty(); });
      next = std::move(queue->held.front());
      queue->held.pop_front();
    }
    std::this_thread::sleep_until(next.first);
    if (next.second.empty()) {
      ::shutdown(to, SHUT_WR);
      return;
    }
    testing_support::SendAll(to, next.second);
  }
}

}  // namespace

DelayProxy::DelayProxy(uint16_t target_port, std::chrono::milliseconds delay)
    : target_port_(target_port), delay_(delay), listener_("delay proxy") {
  thread_ = std::thread([this] { Serve(); });
}

DelayProxy::~DelayProxy() {
  listener_.Stop();
  thread_.join();
  for (std::thread& relay : relays_) relay.join();
}

void DelayProxy::Serve() {
  for (;;) {
    int client = listener_.Accept();
    if (client < 0) return;
    int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(target_port_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
      ::close(client);
      ::close(server);
      continue;
    }
    int one = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    std::lock_guard<std::mutex> lock(mutex_);
    relays_.emplace_back([this, client, server] { Relay(client, server); });
  }
}

void DelayProxy::Relay(int client, int server) {
  Queue upstream, downstream;
  std::atomic<bool> server_spoke{false};
  std::thread up_reader(Read, client, &upstream, delay_, [this, &server_spoke] {
    if (server_spoke.exchange(false)) ++turns_;
  });
  std::thread down_reader(Read, server, &downstream, delay_,
                          [&server_spoke] { server_spoke = true; });
  std::thread up_writer(Write, server, &upstream);
  Write(client, &downstream);
  up_reader.join();
  down_reader.join();
  up_writer.join();
  ::close(client);
  ::close(server);
}

}  // namespace verdanpost::bench
