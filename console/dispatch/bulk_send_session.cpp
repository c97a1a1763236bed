#include "console/dispatch/bulk_send_session.h"

#include <optional>

#include <QDateTime>
#include <QFile>

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

// One round of a press of Send Message: the record and the batches, on the
// sending thread.
struct Round {
  QString refusal;  // set when nothing was sent
  SendRecord record;
  RecordedRunResult result;
};

void RunRound(MailerFactory& mailers, const QString& record_folder, const BulkSendJob& job,
              SendProgress& progress, Round* round) {
  QString err;
  if (!round->record.Create(record_folder, QDateTime::currentDateTime(), &err)) {
    round->refusal = kRecordNotCreated + err;
    return;
  }
  const BatchPlan batches(job.recipients, job.batch_size);
  RecordedRun run(job.inputs, batches, round->record, job.list_headers);
  round->result = run.Run(mailers, progress);
}

// The "Subject:" field of a message file's own header, unfolded; nullopt
// when the file cannot be read or its header has none.
std::optional<QString> FileSubject(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  std::optional<QString> subject;
  for (int lines = 0; lines < 1000 && !file.atEnd(); ++lines) {
    const QString line = QString::fromLocal8Bit(file.readLine(64 * 1024)).remove('\r').remove('\n');
    if (line.isEmpty()) break;  // the end of the header
    const bool folded = line.front() == ' ' || line.front() == '\t';
    if (folded && subject.has_value()) {
      *subject += line;
    } else if (subject.has_value()) {
      break;
    } else if (line.startsWith(QLatin1String("subject:"), Qt::CaseInsensitive)) {
      subject = line.mid(8);
    }
  }
  if (subject.has_value()) *subject = subject->trimmed();
  return subject;
}

// The subject the message goes out with: a file sent with its own headers
// carries its own, every other message the Subject box's.
QString SubjectOfSend(const MessageDefinition& message) {
  if (message.UseFile && message.SendRaw == kChecked) {
    return FileSubject(message.FileName).value_or(message.Subject);
  }
  return message.Subject;
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
  // The list and the window are read off the window's thread; nothing goes
  // out before the operator has said Yes to whom and how much.
  BulkSendJob job;
  QString refusal;
  bool planned = false;
  QString subject;
  view.RunSend([&](SendProgress& progress) {
    // Cancel ends the read while it waits for the database.
    job.cancelled = [&progress] { return progress.CancelRequested(); };
    planned = plan(&job, &refusal);
    job.cancelled = nullptr;
    if (planned) subject = SubjectOfSend(job.inputs.message);
  });
  if (!planned) {
    view.ShowMessage(refusal);
    return;
  }
  const auto subscribers = static_cast<int64_t>(job.recipients.size());
  const int64_t messages = (subscribers + job.batch_size - 1) / job.batch_size;
  if (!view.AskMessage(ConfirmBulkSend(subject, subscribers, messages))) return;
  for (;;) {
    Round round;
    view.RunSend(
        [&](SendProgress& progress) { RunRound(mailers, record_folder, job, progress, &round); });
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
    job.recipients.assign(result.unreached.begin(), result.unreached.end());
    job.note.clear();
  }
}

}  // namespace verdanpost
