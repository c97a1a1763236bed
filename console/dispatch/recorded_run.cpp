#include "console/dispatch/recorded_run.h"

#include <memory>

#include <QDateTime>

#include "console/dispatch/batch_run.h"
#include "console/dispatch/operator_texts.h"
#include "console/dispatch/send_recipe.h"

namespace verdanpost {

namespace {

QStringList Addresses(std::span<const QString> batch) {
  return QStringList(batch.begin(), batch.end());
}

}  // namespace

RecordedRunResult RecordedRun::Run(MailerFactory& mailers, SendProgress& progress) {
  RecordedRunResult result;
  result.messages = static_cast<int>(plan_.batch_count());
  std::unique_ptr<MailerClient> mailer;
  QString why;
  if (!SetUpMailer(mailers, inputs_.setup.SMTPServer, inputs_.setup.CopyMessages == kUnchecked,
                   &mailer, &why)) {
    result.stopped = kMailerNotCreated + why;
    AddUnreached(0, &result);
    return result;
  }
  BatchRun run(*mailer, inputs_, plan_);
  while (!run.done()) {
    const size_t index = run.next_batch();
    if (progress.CancelRequested()) {
      result.cancelled = true;
      AddUnreached(index, &result);
      break;
    }
    progress.MessageStarting(static_cast<int>(index + 1), result.messages, result.reached);
    if (!run.SendNext(&result.stopped)) {
      AddUnreached(index, &result);
      break;
    }
    MailerOutcome outcome = run.last_outcome();
    const QStringList batch = Addresses(plan_.batch(index));
    if (outcome.ok()) {
      result.reached += batch.size();
      // The record keeps the mailer's own words on success too.
      if (!mailer->ErrorMessage(&outcome.message, &why)) outcome.message.clear();
    } else {
      result.unreached += batch;
    }
    // A record that cannot be written does not stop the send; the first
    // reason is told at the end.
    QString record_error;
    if (!record_.AddRow(run.sent(), QDateTime::currentDateTime(), batch, outcome.code,
                        outcome.message, &record_error) &&
        result.record_error.isEmpty()) {
      result.record_error = record_error;
    }
  }
  result.sent = run.sent();
  result.failed = run.failed();
  result.last_failure = run.last_failure();
  return result;
}

void RecordedRun::AddUnreached(size_t from, RecordedRunResult* result) const {
  for (size_t i = from; i < plan_.batch_count(); ++i)
    result->unreached += Addresses(plan_.batch(i));
}

}  // namespace verdanpost
