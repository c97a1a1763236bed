#ifndef VERDANPOST_BENCH_BENCH_SINK_H_
#define VERDANPOST_BENCH_BENCH_SINK_H_

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace verdanpost::bench {

constexpr char kSinkPath[] = "/usr/sbin/smtp-sink";
constexpr char kSourcePath[] = "/usr/sbin/smtp-source";

// A loopback port nobody listens on; 0 when none could be had.
inline int FreeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof addr;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size) == 0) {
    port = ntohs(addr.sin_port);
  }
  close(fd);
  return port;
}

inline bool Accepting(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

// Starts `args[0]` with `args`; -1 when fork fails.
inline pid_t Spawn(std::vector<std::string> args) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// smtp-sink on 127.0.0.1:`port`, answering once it accepts connections.
inline pid_t StartSink(int port) {
  std::vector<std::string> sink = {kSinkPath};
  if (geteuid() == 0) sink.insert(sink.end(), {"-u", "nobody"});
  sink.insert(sink.end(), {"127.0.0.1:" + std::to_string(port), "256"});
  const pid_t pid = Spawn(sink);
  for (int i = 0; i < 100 && pid > 0 && !Accepting(port); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return pid;
}

inline void StopSink(pid_t pid) {
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

}  // namespace verdanpost::bench

#endif  // VERDANPOST_BENCH_BENCH_SINK_H_
