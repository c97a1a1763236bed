// A bulk send of 3,000 subscribers with 10 recipients a message (300
// messages) through the real mailer (by ProgID) to a real SMTP server on
// loopback (testing/smtp_quirks_server.py) that takes 30 messages a minute
// and answers "450 4.7.1 Rate limit exceeded" to a MAIL FROM beyond that,
// over a sliding window. servers.ini gives the server MessagesPerMinute = 30,
// so the send paces itself. Time is scaled so that the bench takes seconds:
// the server's minute is 2 real seconds, and the send's clock runs 30 times
// as fast as real time.
//
// Prints the refusals the server gave (goal: 0), the send's time in scaled
// minutes against the ideal (the first 30 at once, then 30 a minute: 9
// minutes) and their ratio (goal: at most 1.05).
//
// Usage: paced_send_bench

#include <stdlib.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_send.h"
#include "console/dispatch/batch_plan.h"
#include "console/dispatch/mailer_client.h"
#include "console/dispatch/recorded_run.h"
#include "console/dispatch/send_pacer.h"
#include "console/dispatch/send_record.h"
#include "console/dispatch/send_retry.h"
#include "testing/python_smtp_server.h"

namespace verdanpost {
namespace {

constexpr int kSubscribers = 3000;
constexpr int kBatch = 10;
constexpr int kPerMinute = 30;
constexpr int kScale = 30;                       // scaled seconds per real second
constexpr double kServerMinute = 60.0 / kScale;  // real seconds

// Counts the waits the pacer asks for.
class CountingProgress : public bench::QuietProgress {
 public:
  void Waiting(const QString&) override { ++waits; }

  int waits = 0;
};

// The send's clock: kScale times as fast as real time, from the moment it
// is made; a wait sleeps the scaled difference, looking for Cancel.
class ScaledWaiter : public SendWaiter {
 public:
  QDateTime Now() override {
    const auto real = std::chrono::steady_clock::now() - real_start_;
    return start_.addMSecs(kScale *
                           std::chrono::duration_cast<std::chrono::milliseconds>(real).count());
  }
  bool WaitUntil(const QDateTime& until, SendProgress& progress) override {
    for (;;) {
      if (progress.CancelRequested()) return false;
      const qint64 scaled = Now().msecsTo(until);
      if (scaled <= 0) return true;
      const qint64 real = std::min<qint64>(scaled / kScale + 1, 100);
      std::this_thread::sleep_for(std::chrono::milliseconds(real));
    }
  }

 private:
  const QDateTime start_ = QDateTime::currentDateTime();
  const std::chrono::steady_clock::time_point real_start_ = std::chrono::steady_clock::now();
};

// The lines of the server's log that start with `prefix`.
int CountEvents(const QString& path, const QByteArray& prefix) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  int count = 0;
  while (!file.atEnd()) count += file.readLine().startsWith(prefix) ? 1 : 0;
  return count;
}

bool WriteFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

int Main() {
  if (!PythonSmtpServer::Available()) {
    std::fprintf(stderr, "paced_send_bench: aiosmtpd is not installed\n");
    return 1;
  }
  QTemporaryDir dir;
  if (!bench::RegisterMailerIn(dir.path().toStdString())) {
    std::fprintf(stderr, "paced_send_bench: could not register the mailer\n");
    return 1;
  }
  const QString out = dir.filePath("out");
  QDir().mkpath(out);
  PythonSmtpServer server;
  std::string err;
  if (!server.Start("smtp_quirks_server.py",
                    {"127.0.0.1", out.toStdString(), "--window", std::to_string(kPerMinute),
                     std::to_string(kServerMinute)},
                    &err)) {
    std::fprintf(stderr, "paced_send_bench: %s\n", err.c_str());
    return 1;
  }
  const QString server_name = QString("127.0.0.1:%1").arg(server.port());
  const QString servers_ini = dir.filePath("servers.ini");
  if (!WriteFile(
          servers_ini,
          QString("[%1]\nMessagesPerMinute = %2\n").arg(server_name).arg(kPerMinute).toUtf8())) {
    std::fprintf(stderr, "paced_send_bench: could not write servers.ini\n");
    return 1;
  }
  setenv("VERDANPOST_SERVERS", servers_ini.toLocal8Bit().constData(), 1);
  const ServerLimits limits = ServerSendLimits(server_name);
  if (limits.messages_per_minute != kPerMinute) {
    std::fprintf(stderr, "paced_send_bench: servers.ini was not read\n");
    return 1;
  }

  std::vector<QString> subscribers;
  for (int i = 0; i < kSubscribers; ++i) subscribers.push_back(QString("sub%1@example.org").arg(i));
  const SendInputs inputs = bench::BenchMessage(server_name);

  ScaledWaiter waiter;
  ScopedSendRetriesForTesting retries({&waiter, std::chrono::hours(24)});
  SendRecord record;
  QString why;
  if (!record.Create(dir.filePath("sends"), waiter.Now(), &why)) {
    std::fprintf(stderr, "paced_send_bench: %s\n", qPrintable(why));
    return 1;
  }
  const BatchPlan plan(subscribers, kBatch);
  SendPacer pacer(limits, {});
  ProgIdMailerFactory mailers;
  CountingProgress progress;
  const QDateTime start = waiter.Now();
  const auto real_start = std::chrono::steady_clock::now();
  const RecordedRunResult result =
      RecordedRun(inputs, plan, record, {}, {&pacer, nullptr}).Run(mailers, progress);
  const double minutes = static_cast<double>(start.msecsTo(waiter.Now())) / 60000.0;
  const double real =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - real_start).count();
  server.Stop();

  const QString events = out + "/events";
  const int refusals = CountEvents(events, "mail 450");
  const int stored = CountEvents(events, "data 250");
  const int messages = kSubscribers / kBatch;
  const double ideal = static_cast<double>(messages / kPerMinute - 1);
  std::printf("subscribers %d, %d recipients a message: %d messages; server allows %d a minute\n",
              kSubscribers, kBatch, messages, kPerMinute);
  std::printf("server stored %d messages; send reached %lld, unreached %lld, failed %d\n", stored,
              static_cast<long long>(result.reached),
              static_cast<long long>(result.unreached.size()), result.failed);
  std::printf("refusals by the server: %d (goal 0); pacing waits: %d\n", refusals, progress.waits);
  std::printf(
      "send took %.2f scaled minutes (%.1f s real); ideal %.0f minutes; ratio %.3f "
      "(goal at most 1.05)\n",
      minutes, real, ideal, minutes / ideal);
  const bool good = refusals == 0 && result.reached == kSubscribers && minutes / ideal <= 1.05;
  std::printf("paced within the goal: %s\n", good ? "yes" : "NO");
  return good ? 0 : 1;
}

}  // namespace
}  // namespace verdanpost

int main() { return verdanpost::Main(); }
