// Times the console's bulk send of the list message to 30,000 subscribers
// read from an SQLite database through "vestro", in batches of 100 (300
// messages), to Postfix's smtp-sink on loopback, against smtp-source -o
// sending the same 300 messages of 100 recipients to the same sink. The bulk
// send is the Send Message button's: off the window's thread under its
// progress dialog, with its record, in an offscreen application. Prints both
// times, their ratio (goal: at most 1.0), the bulk send's peak resident
// memory (goal: under 64 MiB) and the longest time the window's thread went
// without turning its event loop during the send (goal: under 100 ms).
//
// Usage: bulk_send_bench [ROUNDS]   (default 3; the fastest round counts)

#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_list.h"
#include "bench/bench_send.h"
#include "bench/bench_sink.h"
#include "console/dispatch/batch_plan.h"
#include "console/dispatch/bulk_send.h"
#include "console/dispatch/list_addresses.h"
#include "console/dispatch/list_operations.h"
#include "console/mailinglist/list_database.h"
#include "console/window/send_progress_dialog.h"

namespace verdanpost {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kSubscribers = 30000;
constexpr int kBatch = 100;
constexpr int kBodyLength = 1000;  // bytes of message body, for both senders
using bench::kSinkPath;
using bench::kSourcePath;
using bench::Spawn;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "bulk_send_bench: %s\n", what.c_str());
  std::exit(1);
}

void Check(const database::Status& status, const char* what) {
  if (!status.ok()) Die(std::string(what) + ": " + status.message());
}

// Defines "vestro" on an SQLite file in `dir` and fills MailingList.
void MakeList(const fs::path& dir) {
  bench::DefineDataSource(dir, dir / "vestro.db");
  mailinglist::ListConnection list;
  Check(list.Open(), "open vestro");
  Check(bench::FillMailingList(list, kSubscribers), "fill MailingList");
  Check(list.Close(), "close vestro");
}

struct Run {
  double seconds = 0;
  long max_rss_kib = 0;
  int status = 0;
  double longest_stall_ms = 0;  // of the window's thread, bulk send only
};

// The window's side of Send Message: the bench's inputs, the real progress
// dialog over `window`, and a clock on the window's thread that keeps the
// longest time between two turns of its event loop while a send runs.
class BenchView : public OperationsView {
 public:
  BenchView(QWidget& window, SendInputs inputs) : window_(window), inputs_(std::move(inputs)) {}

  AddPageInputs AddInputs() const override { return {}; }
  RemovePageInputs RemoveInputs() const override { return {}; }
  SendInputs CurrentSendInputs() const override { return inputs_; }
  void OpenMessageTab(int) override {}
  void ShowMessage(const QString& text) override { shown = text; }
  // Yes to the question before the send, No to a follow-up send.
  bool AskMessage(const QString& text) override {
    const bool before_the_send = text.startsWith(QLatin1String("Send \"")) && !text.contains('\n');
    if (!before_the_send) shown = text;
    return before_the_send;
  }
  void RunSend(const ProgressingSend& send) override {
    QElapsedTimer clock;
    qint64 last = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
      const qint64 now = clock.nsecsElapsed();
      longest_stall_ms = std::max(longest_stall_ms, (now - last) / 1e6);
      last = now;
    });
    clock.start();
    tick.start();
    RunWithProgressDialog(window_, send);
    longest_stall_ms = std::max(longest_stall_ms, (clock.nsecsElapsed() - last) / 1e6);
  }

  QString shown;
  double longest_stall_ms = 0;

 private:
  QWidget& window_;
  const SendInputs inputs_;
};

// Waits for `pid`, started at `start`: its time, peak memory and exit status.
Run Finish(pid_t pid, Clock::time_point start) {
  Run run;
  rusage usage{};
  if (wait4(pid, &run.status, 0, &usage) != pid) Die("wait4 failed");
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.max_rss_kib = usage.ru_maxrss;
  return run;
}

// The console's bulk send in a child process of its own, so that its peak
// memory is its own: exit status 0 when it reported "Message sent :-)!".
Run BulkSend(int port, const fs::path& dir) {
  SendInputs inputs;
  inputs.message.UseFile = false;
  inputs.message.UseText = true;
  inputs.message.Subject = "Bench";
  QByteArray body;
  while (body.size() < kBodyLength) body += QByteArray(79, 'x') + "\r\n";
  inputs.message.MessageText = QString::fromLatin1(body);
  inputs.setup.FromName = "List Desk";
  inputs.setup.FromEmail = "sender@example.org";
  inputs.setup.ToName = "List Owner";
  inputs.setup.ToEmail = "list@example.org";
  inputs.setup.SMTPServer = QString("127.0.0.1:%1").arg(port);
  inputs.setup.RecipientsPerMessage = QString::number(kBatch);
  inputs.setup.LimitRecipientsPerMessage = kChecked;
  inputs.setup.CopyMessages = kUnchecked;

  int stall_pipe[2];
  if (pipe(stall_pipe) != 0) Die("pipe failed");
  const Clock::time_point start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) Die("fork failed");
  if (pid == 0) {
    close(stall_pipe[0]);
    // The send's record goes to the bench's folder.
    setenv("XDG_DATA_HOME", dir.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int argc = 1;
    char name[] = "bulk_send_bench";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QWidget window;
    window.show();
    BenchView view(window, inputs);
    ProgIdMailerFactory mailers;
    ListOperations operations(view, mailers, mailinglist::kDataSourceName);
    operations.SendMessage_Click();
    const bool sent = view.shown == kMessageSent;
    if (!sent) std::fprintf(stderr, "bulk send: %s\n", qPrintable(view.shown));
    std::fflush(stderr);
    (void)!write(stall_pipe[1], &view.longest_stall_ms, sizeof view.longest_stall_ms);
    _exit(sent ? 0 : 1);
  }
  close(stall_pipe[1]);
  Run run;
  double stall = 0;
  if (read(stall_pipe[0], &stall, sizeof stall) != sizeof stall) stall = -1;
  close(stall_pipe[0]);
  run = Finish(pid, start);
  run.longest_stall_ms = stall;
  return run;
}

// What the bulk send does besides mailing: open the list, read every
// address and join them into batches, in seconds.
double WalkOnly() {
  const Clock::time_point start = Clock::now();
  std::vector<QString> addresses;
  QString err;
  if (!ReadListAddresses(mailinglist::kDataSourceName, &addresses, &err)) {
    Die(err.toStdString());
  }
  const BatchPlan plan(std::move(addresses), kBatch);
  size_t total = 0;
  for (size_t i = 0; i < plan.batch_count(); ++i) {
    QString batch;
    for (const QString& address : plan.batch(i)) {
      if (!batch.isEmpty()) batch += ", ";
      batch += address;
    }
    total += batch.size();
  }
  if (total == 0) Die("the list was empty");
  return std::chrono::duration<double>(Clock::now() - start).count();
}

Run SmtpSource(int port) {
  const Clock::time_point start = Clock::now();
  const pid_t pid =
      Spawn({kSourcePath, "-o", "-s", "1", "-m", std::to_string(kSubscribers / kBatch), "-r",
             std::to_string(kBatch), "-l", std::to_string(kBodyLength), "-f", "sender@example.org",
             "-t", "rcpt@example.org", "127.0.0.1:" + std::to_string(port)});
  return Finish(pid, start);
}

int Main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  for (const char* tool : {kSinkPath, kSourcePath}) {
    if (access(tool, X_OK) != 0) Die(std::string("missing ") + tool + " (Debian package postfix)");
  }
  char pattern[] = "/tmp/bulk-send-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) Die("mkdtemp failed");
  const fs::path dir = pattern;
  if (!bench::RegisterMailerIn(dir.string())) Die("could not register the mailer");
  MakeList(dir);

  const int port = bench::FreeLoopbackPort();
  if (port == 0) Die("no free loopback port");
  const pid_t sink_pid = bench::StartSink(port);
  if (sink_pid < 0) Die("fork failed");

  std::printf(
      "bulk send: %d subscribers from SQLite in batches of %d (%d messages, %d-byte body)"
      " to smtp-sink on 127.0.0.1:%d\n",
      kSubscribers, kBatch, kSubscribers / kBatch, kBodyLength, port);
  Run best_bulk, best_source;
  best_bulk.seconds = best_source.seconds = 1e9;
  long peak_kib = 0;
  double longest_stall_ms = 0;
  bool failed = false;
  for (int round = 1; round <= rounds; ++round) {
    const Run source = SmtpSource(port);
    const Run bulk = BulkSend(port, dir);
    failed = failed || source.status != 0 || bulk.status != 0 || bulk.longest_stall_ms < 0;
    std::printf(
        "  round %d: smtp-source -o %.3f s, bulk send %.3f s (peak %.1f MiB, window stalled "
        "at most %.1f ms)%s\n",
        round, source.seconds, bulk.seconds, bulk.max_rss_kib / 1024.0, bulk.longest_stall_ms,
        source.status != 0 || bulk.status != 0 ? "  FAILED" : "");
    longest_stall_ms = std::max(longest_stall_ms, bulk.longest_stall_ms);
    best_source.seconds = std::min(best_source.seconds, source.seconds);
    best_bulk.seconds = std::min(best_bulk.seconds, bulk.seconds);
    peak_kib = std::max(peak_kib, bulk.max_rss_kib);
  }
  double walk = 1e9;
  for (int round = 0; round < rounds; ++round) walk = std::min(walk, WalkOnly());
  bench::StopSink(sink_pid);
  fs::remove_all(dir);

  const double ratio = best_bulk.seconds / best_source.seconds;
  std::printf("smtp-source -o:  %.3f s (fastest of %d)\n", best_source.seconds, rounds);
  std::printf("bulk send:       %.3f s (fastest of %d, database walk included)\n",
              best_bulk.seconds, rounds);
  std::printf("  of which list walk and batching: %.3f s\n", walk);
  std::printf("ratio:           %.2f (goal: at most 1.0) %s\n", ratio,
              ratio <= 1.0 ? "met" : "NOT MET");
  std::printf("peak memory:     %.1f MiB (goal: under 64 MiB) %s\n", peak_kib / 1024.0,
              peak_kib < 64 * 1024 ? "met" : "NOT MET");
  std::printf("window's thread: longest stall %.1f ms over all rounds (goal: under 100 ms) %s\n",
              longest_stall_ms, longest_stall_ms < 100 ? "met" : "NOT MET");
  return failed ? 1 : 0;
}

}  // namespace
}  // namespace verdanpost

int main(int argc, char** argv) { return verdanpost::Main(argc, argv); }
