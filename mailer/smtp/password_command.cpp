#include "mailer/smtp/password_command.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace verdanpost {
namespace {

using Clock = std::chrono::steady_clock;

// Output kept while looking for the first line; a password is far shorter.
constexpr size_t kMaxOutput = 64 * 1024;

// "60 seconds", "1 second", "0.25 seconds".
std::string SecondsText(std::chrono::milliseconds limit) {
  long long ms = limit.count();
  std::string text = std::to_string(ms / 1000);
  if (ms % 1000 != 0) {
    std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
    fraction.erase(fraction.find_last_not_of('0') + 1);
    text += "." + fraction;
  }
  return text + (ms == 1000 ? " second" : " seconds");
}

int MillisecondsUntil(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 60 * 60 * 1000));
}

// One owner of a descriptor.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int* out() { return &fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;  // -1: none
};

// Starts /bin/sh -c `command` as the leader of a new process group, with its
// standard output on `output` and /dev/null for input and standard error.
int Spawn(const std::string& command, int output, pid_t* pid) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  // Nor does it get the host's other descriptors (its sockets and files).
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  // The host may block or ignore signals; the command starts as from a shell.
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::string shell = "sh", dash_c = "-c", line = command;
  char* argv[] = {shell.data(), dash_c.data(), line.data(), nullptr};
  int error = posix_spawn(pid, "/bin/sh", &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return error;
}

// Reads the command's output until it ends or `deadline`; keeps only what
// holds the first line, but takes everything so the command never blocks on
// a full pipe. False at the deadline.
bool ReadOutput(int fd, Clock::time_point deadline, std::string* output) {
  char buffer[512];
  bool done = false;
  while (!done) {
    pollfd wait{fd, POLLIN, 0};
    int ready = ::poll(&wait, 1, MillisecondsUntil(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) break;
    ssize_t got = ready < 0 ? -1 : ::read(fd, buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      done = true;
    } else if (output->size() < kMaxOutput && output->find('\n') == std::string::npos) {
      output->append(buffer, static_cast<size_t>(got));
    }
  }
  OPENSSL_cleanse(buffer, sizeof(buffer));
  return done;
}

// Waits for the shell to end until `deadline`: it may have closed its output
// and gone on. False at the deadline.
bool WaitForExit(pid_t pid, Clock::time_point deadline, int* status) {
  for (;;) {
    pid_t ended = ::waitpid(pid, status, WNOHANG);
    if (ended == pid) return true;
    if (ended < 0 && errno != EINTR) {
      *status = -1;
      return true;
    }
    if (Clock::now() >= deadline) return false;
    ::poll(nullptr, 0, std::min(5, MillisecondsUntil(deadline)));
  }
}

}  // namespace

Outcome RunPasswordCommand(const std::string& command, std::chrono::milliseconds limit,
                           std::string* password) {
  Clock::time_point deadline = Clock::now() + limit;
  Descriptor read_end, write_end;
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    return Outcome::CannotAuthenticate("the password command could not be started (" +
                                       std::string(std::strerror(errno)) + ")");
  }
  *read_end.out() = ends[0];
  *write_end.out() = ends[1];
  pid_t pid = -1;
  if (int error = Spawn(command, write_end.get(), &pid); error != 0) {
    return Outcome::CannotAuthenticate("the password command could not be started (" +
                                       std::string(std::strerror(error)) + ")");
  }
  write_end.Close();  // so the output ends when the command's copies close

  std::string output;
  output.reserve(kMaxOutput + 512);  // never moved, so one wipe reaches every copy
  int status = -1;
  bool finished =
      ReadOutput(read_end.get(), deadline, &output) && WaitForExit(pid, deadline, &status);
  if (!finished) {
    ::kill(-pid, SIGKILL);  // the group: whatever the shell started goes too
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  size_t end = std::min(output.find('\n'), output.size());
  if (end > 0 && output[end - 1] == '\r') --end;
  bool succeeded = finished && status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (succeeded && end > 0) password->assign(output, 0, end);
  OPENSSL_cleanse(output.data(), output.size());

  if (!finished) {
    return Outcome::CannotAuthenticate("the password command did not finish within " +
                                       SecondsText(limit));
  }
  if (!succeeded) {
    std::string how = status == -1          ? "it could not be waited for"
                      : WIFEXITED(status)   ? "exit status " + std::to_string(WEXITSTATUS(status))
                      : WIFSIGNALED(status) ? "ended by signal " + std::to_string(WTERMSIG(status))
                                            : "it did not finish normally";
    return Outcome::CannotAuthenticate("the password command failed (" + how + ")");
  }
  if (end == 0) return Outcome::CannotAuthenticate("the password command printed no password");
  return Outcome::Fine();
}

}  // namespace verdanpost
