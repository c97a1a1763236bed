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

// A raw send takes its header from the file: the mailer adds nothing to it.
bool IsRawSend(const MessageDefinition& message) {
  return message.UseFile && message.SendRaw == kChecked;
}

// Ends the mailer's kept session however the run ends.
class SessionEnd {
 public:
  explicit SessionEnd(MailerClient& mailer) : mailer_(mailer) {}
  SessionEnd(const SessionEnd&) = delete;
  SessionEnd& operator=(const SessionEnd&) = delete;
  ~SessionEnd() {
    QString ignored;
    mailer_.Disconnect(&ignored);
  }

 private:
  MailerClient& mailer_;
};

}  // namespace

RecordedRunResult RecordedRun::Run(MailerFactory& mailers, SendProgress& progress) {
  RecordedRunResult result;
  result.messages = static_cast<int>(plan_.batch_count());
  std::unique_ptr<MailerClient> mailer;
  QString why;
  if (!SetUpMailer(mailers, inputs_.setup.SMTPServer, inputs_.setup.CopyMessages == kUnchecked,
                   &mailer, &why) ||
      !mailer->PutPartialDelivery(true, &why) || !mailer->PutKeepConnection(true, &why) ||
      (!list_headers_.isEmpty() && !IsRawSend(inputs_.message) &&
       !mailer->PutExtraHeaders(list_headers_.join(QStringLiteral("\r\n")), &why))) {
    result.stopped = kMailerNotCreated + why;
    AddUnreached(0, &result);
    return result;
  }
  SessionEnd session_end(*mailer);
  BatchRun run(*mailer, inputs_, plan_, list_headers_);
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
    const QDateTime ended = QDateTime::currentDateTime();
    const MailerOutcome& outcome = run.last_outcome();
    QString reply;
    if (!mailer->ServerReply(&reply, &why)) reply.clear();
    std::vector<Refusal> account;
    if (outcome.ok()) {
      QString refused;
      if (!mailer->RefusedRecipients(&refused, &why)) refused.clear();
      account = AccountForBatch(plan_.batch(index), ParseRefusedRecipients(refused));
    } else {
      // Nobody got it: each subscriber shares the message's failure.
      const QString failure = reply.isEmpty() ? FailureText(outcome) : reply;
      for (const QString& address : plan_.batch(index))
        account.push_back({address, outcome.code, failure});
    }
    QString record_error;
    bool recorded = true;
    for (const Refusal& entry : account) {
      if (entry.code == 0) {
        ++result.reached;
      } else if (IsTemporary(entry.code)) {
        result.unreached << entry.address;
      } else {
        result.refused.push_back(entry);
      }
      recorded = recorded && record_.AddRow(run.sent(), entry.address, ended, entry.code,
                                            entry.code == 0 ? reply : entry.reply, &record_error);
    }
    recorded = recorded && record_.Flush(&record_error);
    // A record that cannot be written does not stop the send; the first
    // reason is told at the end.
    if (!recorded && result.record_error.isEmpty()) result.record_error = record_error;
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
