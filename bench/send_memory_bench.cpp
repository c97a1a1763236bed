// Peak memory of one SendMessage of a 100 MB text to Postfix's smtp-sink on
// loopback, as a multiple of the text's size (goal: under 3), two ways: the
// mailer's own SendMessage with the caller's UTF-8 text, and the automation
// object created by ProgID and called by name, as the console calls it (the
// text then also travels as a UTF-16 argument, which the automation layer
// copies once more on its way to the object). Each runs in a process of its
// own; its peak is the resident high-water mark from just before the call
// (the text already built) to its end, so the caller's text counts once.
//
// Usage: send_memory_bench [MEGABYTES]   (default 100)

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_sink.h"
#include "mailer/smtp/mailer.h"
#include "platform/automation/automation_object.h"

namespace verdanpost {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "send_memory_bench: %s\n", what.c_str());
  std::exit(1);
}

// "VmHWM" or "VmRSS" of this process, in KiB.
long MemoryKiB(const std::string& key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key + ":", 0) == 0) return std::stol(line.substr(key.size() + 1));
  }
  return -1;
}

// Lines of 78 characters and CR LF, `bytes` in all.
std::string MakeText(size_t bytes) {
  std::string line(78, 'x');
  line += "\r\n";
  std::string text;
  text.reserve(bytes);
  while (text.size() + line.size() <= bytes) text += line;
  text.append(bytes - text.size(), 'y');
  return text;
}

// Runs `send` (which returns the ErrorCode) in a child process after building
// the text, and prints its figures; false when the send failed.
template <typename Send>
bool Measure(const char* label, size_t bytes, Send send) {
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid < 0) Die("fork failed");
  if (pid == 0) {
    std::string text = MakeText(bytes);
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts at the current size
    const long before = MemoryKiB("VmRSS");
    const int code = send(text);
    const long peak = MemoryKiB("VmHWM");
    const double text_kib = bytes / 1024.0;
    std::printf("  %-34s peak %7.1f MiB = %.2f x the text (%.1f MiB held before the call)%s\n",
                label, peak / 1024.0, peak / text_kib, before / 1024.0,
                code == 0 ? "" : "  SEND FAILED");
    std::fflush(stdout);
    _exit(code == 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int Main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
  const size_t bytes = megabytes * 1000 * 1000;
  if (access(bench::kSinkPath, X_OK) != 0) Die("missing smtp-sink (Debian package postfix)");
  char pattern[] = "/tmp/send-memory-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) Die("mkdtemp failed");
  const fs::path dir = pattern;
  setenv("AUTOMATION_REGISTRY", (dir / "classes-root.reg").c_str(), 1);
  const std::string build = VERDANPOST_BUILD_DIR;
  const std::string command = build + "/bin/autoreg " + build + "/lib/libverdanpost.so";
  if (std::system(command.c_str()) != 0) Die("could not register the mailer: " + command);
  const int port = bench::FreeLoopbackPort();
  if (port == 0) Die("no free loopback port");
  const pid_t sink = bench::StartSink(port);
  if (sink < 0) Die("fork failed");
  const std::string server = "127.0.0.1:" + std::to_string(port);

  std::printf("SendMessage of a %zu MB text (lines of 80 bytes) to smtp-sink on %s:\n", megabytes,
              server.c_str());
  bool ok = Measure("mailer, UTF-8 text:", bytes, [&](const std::string& text) {
    Mailer mailer;
    mailer.set_server_name(server);
    mailer.SendMessage("sender@example.org", "list@example.org", "", "", "Big", text);
    return mailer.error_code();
  });
  ok = Measure(
           "automation object, called by name:", bytes,
           [&](const std::string& text) {
             std::string err;
             AutomationObject mailer = AutomationObject::Create("Verdanpost.SMTPMailer.1", &err);
             if (!mailer.valid()) return -1;
             mailer.Put("ServerName", Variant(std::string_view(server)));
             // Moved in: an initializer list would copy every argument.
             std::vector<Variant> args;
             for (const char* field : {"sender@example.org", "list@example.org", "", "", "Big"}) {
               args.emplace_back(field);
             }
             args.emplace_back(std::string_view(text));
             mailer.Call("SendMessage", args);
             AutomationResult code = mailer.Get("ErrorCode");
             return code.ok() ? static_cast<int>(code.value().get().lVal) : -1;
           }) &&
       ok;
  std::printf("goal: the mailer's peak under 3 x the text\n");
  bench::StopSink(sink);
  fs::remove_all(dir);
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace verdanpost

int main(int argc, char** argv) { return verdanpost::Main(argc, argv); }
