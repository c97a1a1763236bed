// Times a bulk send's mail through a link with a delay: 3,000 subscribers
// in batches of 100 (30 messages, each to the list's To address and 100
// subscribers in Bcc) from the mailer to smtp-sink, through a relay on
// loopback that holds every segment 10 ms each way. Once in lockstep (HELO,
// as without settings) and once pipelined (Greeting = EHLO in the server's
// settings; smtp-sink offers PIPELINING). Prints both, side by side, with
// the round trips per message and the sending thread's processor time per
// message. Goal: pipelined at least 10 times faster.
//
// Then the same subscribers through the same kind of link to a server with
// STARTTLS, sign-in and pipelining (testing/smtp_secure_server.py): a
// session (TCP, TLS
// and AUTH) per message against one kept session for all of them. Goal: the
// kept session at least 3 times fewer round trips and 2 times faster.
//
// Usage: pipelining_bench [SUBSCRIBERS]   (default 3000)

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "bench/bench_sink.h"
#include "bench/delay_proxy.h"
#include "mailer/smtp/mailer.h"
#include "testing/python_smtp_server.h"
#include "testing/test_certificates.h"

namespace verdanpost {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kBatch = 100;
constexpr auto kDelay = std::chrono::milliseconds(10);

struct Run {
  double seconds = 0;
  int messages = 0;
  int failed = 0;
  double turns_per_message = 0;
  double cpu_ms_per_message = 0;
};

// Processor time the calling thread has used, in milliseconds.
double ThreadCpuMilliseconds() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// One mailer per message, as the console made them; or, with `keep`, one
// mailer keeping its session for all of them.
Run Send(const std::string& server_name, int subscribers, bool keep = false) {
  Run run;
  const std::string body(1000, 'x');
  Clock::time_point start = Clock::now();
  double cpu_start = ThreadCpuMilliseconds();
  std::unique_ptr<Mailer> kept;
  for (int first = 0; first < subscribers; first += kBatch) {
    std::string bcc;
    for (int i = first; i < first + kBatch && i < subscribers; ++i) {
      bcc += (i > first ? ", " : "") + ("subscriber" + std::to_string(i) + "@example.org");
    }
    std::unique_ptr<Mailer> own;
    Mailer* mailer = keep ? kept.get() : nullptr;
    if (mailer == nullptr) {
      (keep ? kept : own) = std::make_unique<Mailer>();
      mailer = keep ? kept.get() : own.get();
      mailer->set_server_name(server_name);
      mailer->set_keep_connection(keep);
    }
    mailer->SendMessage("list@example.org", "list@example.org", "", bcc, "News", body);
    ++run.messages;
    if (mailer->error_code() != 0) {
      ++run.failed;
      std::fprintf(stderr, "pipelining_bench: %s (%d)\n", mailer->error_message().c_str(),
                   mailer->error_code());
    }
  }
  if (kept != nullptr) kept->Disconnect();
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.cpu_ms_per_message = (ThreadCpuMilliseconds() - cpu_start) / run.messages;
  return run;
}

}  // namespace
}  // namespace verdanpost

int main(int argc, char** argv) {
  using namespace verdanpost;
  int subscribers = argc > 1 ? std::atoi(argv[1]) : 3000;
  int sink_port = bench::FreeLoopbackPort();
  pid_t sink = bench::StartSink(sink_port);
  if (sink <= 0 || !bench::Accepting(sink_port)) {
    std::fprintf(stderr, "pipelining_bench: smtp-sink did not start (%s)\n", bench::kSinkPath);
    return 1;
  }
  fs::path dir = fs::temp_directory_path() / ("pipelining_bench_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::string settings = (dir / "servers.ini").string();
  ::setenv("VERDANPOST_SERVERS", settings.c_str(), 1);

  Run runs[2];
  const char* names[2] = {"lockstep (HELO)", "pipelined (EHLO)"};
  {
    bench::DelayProxy proxy(static_cast<uint16_t>(sink_port), kDelay);
    std::string server_name = "127.0.0.1:" + std::to_string(proxy.port());
    for (int mode = 0; mode < 2; ++mode) {
      std::ofstream(settings, std::ios::trunc)
          << "[" << server_name << "]\nGreeting = " << (mode == 0 ? "HELO" : "EHLO") << "\n";
      long turns_before = proxy.turns();
      runs[mode] = Send(server_name, subscribers);
      runs[mode].turns_per_message =
          static_cast<double>(proxy.turns() - turns_before) / runs[mode].messages;
    }
  }
  bench::StopSink(sink);

  // A session per message against a kept one, over STARTTLS with sign-in.
  Run secure[2];
  const char* secure_names[2] = {"session/message", "kept session"};
  {
    testing_support::TestCertificates certificates;
    PythonSmtpServer server;
    std::string err;
    fs::create_directories(dir / "out");
    ::setenv("SECURE_SERVER_PIPELINING", "1", 1);
    if (!server.Start("smtp_secure_server.py",
                      {"127.0.0.1", (dir / "out").string(), "starttls",
                       certificates.certificate("localhost"), certificates.key("localhost")},
                      &err)) {
      std::fprintf(stderr, "pipelining_bench: the secure server did not start: %s\n", err.c_str());
      return 1;
    }
    bench::DelayProxy proxy(static_cast<uint16_t>(server.port()), kDelay);
    std::string server_name = "127.0.0.1:" + std::to_string(proxy.port());
    std::ofstream(settings, std::ios::trunc)
        << "[" << server_name << "]\nSecurity = starttls\nUser = ann\nPassword = s3cret pass\n"
        << "CAFile = " << certificates.ca_file() << "\n";
    ::chmod(settings.c_str(), 0600);
    for (int mode = 0; mode < 2; ++mode) {
      long turns_before = proxy.turns();
      secure[mode] = Send(server_name, subscribers, mode == 1);
      secure[mode].turns_per_message =
          static_cast<double>(proxy.turns() - turns_before) / secure[mode].messages;
    }
  }
  fs::remove_all(dir);

  std::printf(
      "%d subscribers in batches of %d through a link holding each segment %lld ms "
      "each way\n",
      subscribers, kBatch, static_cast<long long>(kDelay.count()));
  std::printf("%-18s %10s %10s %8s %20s %16s\n", "", "seconds", "messages", "failed",
              "round trips/message", "CPU ms/message");
  for (int mode = 0; mode < 2; ++mode) {
    std::printf("%-18s %10.2f %10d %8d %20.1f %16.2f\n", names[mode], runs[mode].seconds,
                runs[mode].messages, runs[mode].failed, runs[mode].turns_per_message,
                runs[mode].cpu_ms_per_message);
  }
  std::printf("pipelined is %.1f times as fast (goal: at least 10)\n",
              runs[0].seconds / runs[1].seconds);
  std::printf("\nThe same over STARTTLS with sign-in\n");
  std::printf("%-18s %10s %10s %8s %20s %16s\n", "", "seconds", "messages", "failed",
              "round trips/message", "CPU ms/message");
  for (int mode = 0; mode < 2; ++mode) {
    std::printf("%-18s %10.2f %10d %8d %20.1f %16.2f\n", secure_names[mode], secure[mode].seconds,
                secure[mode].messages, secure[mode].failed, secure[mode].turns_per_message,
                secure[mode].cpu_ms_per_message);
  }
  std::printf(
      "the kept session takes %.1f times fewer round trips (goal: at least 3) and is %.1f times "
      "as fast (goal: at least 2)\n",
      secure[0].turns_per_message / secure[1].turns_per_message,
      secure[0].seconds / secure[1].seconds);
  return runs[0].failed + runs[1].failed + secure[0].failed + secure[1].failed == 0 ? 0 : 1;
}
