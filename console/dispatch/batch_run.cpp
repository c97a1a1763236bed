#include "console/dispatch/batch_run.h"

#include <memory>
#include <utility>

#include <QDateTime>

#include "console/dispatch/operator_texts.h"
#include "console/dispatch/send_recipe.h"

namespace verdanpost {

BatchRun::BatchRun(SendInputs inputs, std::vector<QStringList> batches, SendRecord& record)
    : inputs_(std::move(inputs)), batches_(std::move(batches)), record_(record) {}

BatchRunResult BatchRun::Run(MailerFactory& mailers, SendProgress& progress) {
  BatchRunResult result;
  result.messages = static_cast<int>(batches_.size());
  std::unique_ptr<MailerClient> mailer;
  QString why;
  if (!SetUpMailer(mailers, inputs_.setup.SMTPServer, inputs_.setup.CopyMessages == kUnchecked,
                   &mailer, &why)) {
    result.stopped = kMailerNotCreated + why;
    AddUnreached(0, &result);
    return result;
  }
  for (size_t i = 0; i < batches_.size(); ++i) {
    if (progress.CancelRequested()) {
      result.cancelled = true;
      AddUnreached(i, &result);
      break;
    }
    progress.MessageStarting(static_cast<int>(i + 1), result.messages, result.reached);
    SendBatch(*mailer, batches_[i], &result);
    if (!result.stopped.isEmpty()) {
      AddUnreached(i, &result);
      break;
    }
  }
  return result;
}

void BatchRun::SendBatch(MailerClient& mailer, const QStringList& batch, BatchRunResult* result) {
  QString error;
  if (!SendStoredMessage(mailer, inputs_, BatchList{batch.join(QStringLiteral(", "))}, &error)) {
    result->stopped = kNotHandedToMailer + error;
    return;
  }
  MailerOutcome outcome;
  if (!ReadOutcome(mailer, &outcome, &error)) {
    result->stopped = kAnswerNotRead + error;
    return;
  }
  // The record keeps the mailer's own words on success too.
  if (outcome.ok() && !mailer.ErrorMessage(&outcome.message, &error)) outcome.message.clear();
  ++result->sent;
  if (outcome.ok()) {
    result->reached += batch.size();
  } else {
    ++result->failed;
    result->last_failure = FailureText(outcome);
    result->unreached += batch;
  }
  // A record that cannot be written does not stop the send; the first
  // reason is told at the end.
  QString record_error;
  if (!record_.AddRow(result->sent, QDateTime::currentDateTime(), batch, outcome.code,
                      outcome.message, &record_error) &&
      result->record_error.isEmpty()) {
    result->record_error = record_error;
  }
}

void BatchRun::AddUnreached(size_t from, BatchRunResult* result) const {
  for (size_t i = from; i < batches_.size(); ++i) result->unreached += batches_[i];
}

}  // namespace verdanpost
