#include "console/dispatch/bulk_send_session.h"

#include <algorithm>

#include <QDateTime>

#include "console/dispatch/operator_texts.h"
#include "console/dispatch/send_record.h"

namespace verdanpost {

namespace {

// Whether the run ended with subscribers who should have had the message.
bool MissedSome(const BatchRunResult& result) {
  return result.failed > 0 || result.cancelled || (!result.stopped.isEmpty() && result.sent > 0);
}

}  // namespace

std::vector<QStringList> CutIntoBatches(const QStringList& recipients, int64_t batch_size) {
  std::vector<QStringList> batches;
  const qsizetype size = static_cast<qsizetype>(std::max<int64_t>(batch_size, 1));
  for (qsizetype i = 0; i < recipients.size(); i += size)
    batches.push_back(recipients.mid(i, size));
  return batches;
}

QString BulkSendReport(const BatchRunResult& result, const QString& record_path) {
  QStringList lines;
  if (result.cancelled) lines << SendingCancelled(result.sent, result.messages);
  if (!result.stopped.isEmpty()) {
    lines << (result.sent == 0 ? result.stopped : SendingStopped(result.sent, result.stopped));
  }
  if (result.failed > 0) lines << BatchesFailed(result.failed, result.sent, result.last_failure);
  if (lines.isEmpty()) lines << kMessageSent;
  if (!result.record_error.isEmpty()) lines << kRecordNotWritten + result.record_error;
  if (MissedSome(result)) lines << SendRecordNamed(record_path);
  return lines.join('\n');
}

void SendInBatches(OperationsView& view, MailerFactory& mailers, const SendInputs& inputs,
                   const QStringList& recipients, int64_t batch_size, const QString& note,
                   const QString& record_folder) {
  QStringList to = recipients;
  QString trailer = note;
  for (;;) {
    SendRecord record;
    QString err;
    if (!record.Create(record_folder, QDateTime::currentDateTime(), &err)) {
      view.ShowMessage(kRecordNotCreated + err);
      return;
    }
    BatchRun run(inputs, CutIntoBatches(to, batch_size), record);
    BatchRunResult result;
    view.RunSend([&](SendProgress& progress) { result = run.Run(mailers, progress); });

    QString report = BulkSendReport(result, record.path());
    if (!trailer.isEmpty()) report += '\n' + trailer;
    if (result.unreached.isEmpty() || !MissedSome(result)) {
      view.ShowMessage(report);
      return;
    }
    if (!view.AskMessage(report + "\n\n" + SendToUnreached(result.unreached.size()))) return;
    // The same message to just the ones who missed it; what was skipped
    // before has been told.
    to = result.unreached;
    trailer.clear();
  }
}

}  // namespace verdanpost
