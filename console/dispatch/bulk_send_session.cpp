#include "console/dispatch/bulk_send_session.h"

#include <QDateTime>

#include "console/dispatch/operator_texts.h"
#include "console/dispatch/recorded_run.h"
#include "console/dispatch/send_record.h"

namespace verdanpost {

namespace {

// Whether the run ended with subscribers who should have had the message.
bool MissedSome(const RecordedRunResult& result) {
  return result.failed > 0 || result.cancelled || !result.refused.empty() ||
         (!result.stopped.isEmpty() && result.sent > 0);
}

// One round of a press of Send Message: the plan (first round only), the
// record and the batches, all on the sending thread.
struct Round {
  QString refusal;  // set when nothing was sent
  SendRecord record;
  RecordedRunResult result;
};

void RunRound(MailerFactory& mailers, const BulkSendPlanner& plan, const QString& record_folder,
              BulkSendJob* job, SendProgress& progress, Round* round) {
  if (plan && !plan(job, &round->refusal)) return;
  QString err;
  if (!round->record.Create(record_folder, QDateTime::currentDateTime(), &err)) {
    round->refusal = kRecordNotCreated + err;
    return;
  }
  const BatchPlan batches(job->recipients, job->batch_size);
  RecordedRun run(job->inputs, batches, round->record, job->list_headers);
  round->result = run.Run(mailers, progress);
}

// The report of one run of batches: how it ended and its failures.
QString BulkSendReport(const RecordedRunResult& result) {
  QStringList lines;
  if (result.cancelled) lines << SendingCancelled(result.sent, result.messages);
  if (!result.stopped.isEmpty()) {
    lines << (result.sent == 0 ? result.stopped : SendingStopped(result.sent, result.stopped));
  }
  if (result.failed > 0) lines << BatchesFailed(result.failed, result.sent, result.last_failure);
  if (!result.refused.empty()) lines << RefusedSubscribers(result.refused);
  if (lines.isEmpty()) lines << kMessageSent;
  if (!result.record_error.isEmpty()) lines << kRecordNotWritten + result.record_error;
  return lines.join('\n');
}

}  // namespace

void SendInBatches(OperationsView& view, MailerFactory& mailers, const BulkSendPlanner& plan,
                   const QString& record_folder) {
  BulkSendJob job;
  BulkSendPlanner plan_first = plan;
  for (;;) {
    Round round;
    view.RunSend([&](SendProgress& progress) {
      RunRound(mailers, plan_first, record_folder, &job, progress, &round);
    });
    if (!round.refusal.isEmpty()) {
      view.ShowMessage(round.refusal);
      return;
    }
    const RecordedRunResult& result = round.result;
    QString report = BulkSendReport(result);
    if (!job.note.isEmpty()) report += '\n' + job.note;
    if (!MissedSome(result)) {
      view.ShowMessage(report);
      return;
    }
    report += '\n' + SendRecordNamed(round.record.path());
    // Those refused for good are not offered again.
    if (result.unreached.isEmpty()) {
      view.ShowMessage(report);
      return;
    }
    if (!view.AskMessage(report + "\n\n" + SendToUnreached(result.unreached.size()))) return;
    // The same message to just the ones who missed it, without reading the
    // list again; what was skipped before has been told.
    plan_first = nullptr;
    job.recipients.assign(result.unreached.begin(), result.unreached.end());
    job.note.clear();
  }
}

}  // namespace verdanpost
