// A bulk send of 10,000 subscribers in batches of 100 through the real
// mailer (by ProgID) to a scripted SMTP server on loopback that refuses 1
// percent of them at RCPT TO with "550 5.1.1 User unknown". Prints how many
// the server accepted and how many the send counted as reached and refused
// (goal: exactly the other 99 percent reached, in one pass: 100 messages,
// one connection), and the time it took.
//
// Usage: refused_send_bench

#include <stdlib.h>

#include <QDateTime>
#include <QString>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_send.h"
#include "console/dispatch/batch_plan.h"
#include "console/dispatch/mailer_client.h"
#include "console/dispatch/recorded_run.h"
#include "console/dispatch/send_record.h"
#include "testing/scripted_smtp_peer.h"

namespace verdanpost {
namespace {

using testing_support::PeerReply;
using testing_support::ScriptedSmtpPeer;

constexpr int kSubscribers = 10000;
constexpr int kBatch = 100;
constexpr int kRefusedEvery = 100;  // 1 percent

int Main() {
  QTemporaryDir dir;
  if (!bench::RegisterMailerIn(dir.path().toStdString())) {
    std::fprintf(stderr, "refused_send_bench: could not register the mailer\n");
    return 1;
  }
  ScriptedSmtpPeer peer;
  std::vector<QString> subscribers;
  for (int i = 0; i < kSubscribers; ++i) {
    const std::string address = "sub" + std::to_string(i) + "@example.org";
    subscribers.push_back(QString::fromStdString(address));
    if (i % kRefusedEvery == kRefusedEvery / 2) {
      peer.SetRcptReplyFor(address, PeerReply::Text("550 5.1.1 User unknown\r\n"));
    }
  }
  const SendInputs inputs = bench::BenchMessage(QString::fromStdString(peer.server_name()));

  SendRecord record;
  QString err;
  if (!record.Create(dir.filePath("sends"), QDateTime::currentDateTime(), &err)) {
    std::fprintf(stderr, "refused_send_bench: %s\n", qPrintable(err));
    return 1;
  }
  const BatchPlan plan(subscribers, kBatch);
  ProgIdMailerFactory mailers;
  bench::QuietProgress progress;
  const auto start = std::chrono::steady_clock::now();
  const RecordedRunResult result = RecordedRun(inputs, plan, record).Run(mailers, progress);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  // Recipients the server took: every RCPT TO but the refused ones.
  size_t accepted = 0;
  for (const std::string& line : peer.commands()) {
    if (line.rfind("RCPT TO:", 0) == 0) ++accepted;
  }
  accepted -= static_cast<size_t>(kSubscribers / kRefusedEvery);
  std::printf("subscribers %d, refused by the server %d\n", kSubscribers,
              kSubscribers / kRefusedEvery);
  std::printf("messages %d in %zu DATA phases over %d connection(s)\n", result.sent,
              peer.received_messages().size(), peer.connections());
  std::printf("reached %lld, refused %zu, unreached %lld, failed messages %d\n",
              static_cast<long long>(result.reached), result.refused.size(),
              static_cast<long long>(result.unreached.size()), result.failed);
  std::printf("server accepted %zu recipients; %.2f s\n", accepted, seconds);
  const bool exact = result.reached == kSubscribers - kSubscribers / kRefusedEvery &&
                     static_cast<int64_t>(accepted) == result.reached &&
                     result.unreached.isEmpty() && result.sent == kSubscribers / kBatch;
  std::printf("exactly the other 99 percent in one pass: %s\n", exact ? "yes" : "NO");
  return exact ? 0 : 1;
}

}  // namespace
}  // namespace verdanpost

int main() { return verdanpost::Main(); }
