// Peak memory of one SendMessage of a 100 MB text to Postfix's smtp-sink on
// loopback, as a multiple of the text's size (goal: under 3), two ways: the
// mailer's own SendMessage with the caller's UTF-8 text, and the automation
// object created by ProgID and called by name through IDispatch, as the
// console calls it, with the text as a BSTR argument (UTF-16, so the
// caller's own argument is already twice the text). Each runs in a process
// of its own; its peak is the resident high-water mark from just before the
// call (the caller's text already built) to its end, so the caller's text
// counts once.
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

#include "bench/bench_memory.h"
#include "bench/bench_sink.h"
#include "mailer/smtp/mailer.h"
#include "platform/automation/automation_object.h"
#include "platform/automation/bstr.h"

namespace verdanpost {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "send_memory_bench: %s\n", what.c_str());
  std::exit(1);
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

// Runs `send` in a child process on what `prepare` makes of the text (the
// form a caller holds it in), and prints its figures; false when the send
// failed. `send` returns the ErrorCode.
template <typename Prepare, typename Send>
bool Measure(const char* label, size_t bytes, Prepare prepare, Send send) {
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid < 0) Die("fork failed");
  if (pid == 0) {
    auto held = prepare(MakeText(bytes));
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts at the current size
    const long before = bench::MemoryKiB("VmRSS");
    const int code = send(held);
    const long peak = bench::MemoryKiB("VmHWM");
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

// SendMessage by name through IDispatch, the six arguments as BSTRs that the
// caller owns; the ErrorCode, or -1 when a call fails.
int CallSendMessage(IDispatch* mailer, const std::vector<Bstr>& args) {
  std::u16string name = u"SendMessage";
  LPOLESTR names[] = {name.data()};
  DISPID dispid = DISPID_UNKNOWN;
  if (Failed(mailer->GetIDsOfNames(IID_NULL, names, 1, LOCALE_NEUTRAL, &dispid))) return -1;
  std::vector<VARIANT> reversed(args.size());  // Invoke takes them last to first
  for (size_t i = 0; i < args.size(); ++i) {
    reversed[args.size() - 1 - i].vt = VT_BSTR;
    reversed[args.size() - 1 - i].bstrVal = args[i].get();  // lent, not copied
  }
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  Variant result;
  EXCEPINFO excepinfo{nullptr, nullptr, S_OK};
  UINT arg_err = 0;
  HRESULT hr = mailer->Invoke(dispid, IID_NULL, LOCALE_NEUTRAL, DISPATCH_METHOD, &params,
                              result.Receive(), &excepinfo, &arg_err);
  SysFreeString(excepinfo.bstrSource);
  SysFreeString(excepinfo.bstrDescription);
  return Failed(hr) ? -1 : 0;
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
  bool ok = Measure(
      "mailer, UTF-8 text:", bytes, [](std::string text) { return text; },
      [&](const std::string& text) {
        Mailer mailer;
        mailer.set_server_name(server);
        mailer.SendMessage("sender@example.org", "list@example.org", "", "", "Big", text);
        return mailer.error_code();
      });
  ok = Measure(
           "automation object, BSTR by name:", bytes,
           [](std::string text) {
             std::vector<Bstr> args;
             for (const char* field : {"sender@example.org", "list@example.org", "", "", "Big"}) {
               args.emplace_back(field);
             }
             args.emplace_back(text);
             return args;  // the UTF-8 text goes here
           },
           [&](const std::vector<Bstr>& args) {
             std::string err;
             AutomationObject mailer = AutomationObject::Create("Verdanpost.SMTPMailer.1", &err);
             if (!mailer.valid()) return -1;
             mailer.Put("ServerName", Variant(std::string_view(server)));
             if (CallSendMessage(mailer.get(), args) != 0) return -1;
             AutomationResult code = mailer.Get("ErrorCode");
             return code.ok() ? static_cast<int>(code.value().get().lVal) : -1;
           }) &&
       ok;
  std::printf("goal: each peak under 3 x the text\n");
  bench::StopSink(sink);
  fs::remove_all(dir);
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace verdanpost

int main(int argc, char** argv) { return verdanpost::Main(argc, argv); }
