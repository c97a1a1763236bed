#include "console/dispatch/recorded_run.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include <QDateTime>
#include <QHash>

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
    AddUnreached(plan_, 0, &result);
    return result;
  }
  SessionEnd session_end(*mailer);
  Pass pass{*mailer, progress, CurrentSendRetries(), RetrySchedule(CurrentSendRetries().limit)};
  const int64_t batch_size = plan_.batch_count() > 0 ? plan_.batch(0).size() : 1;
  std::unique_ptr<BatchPlan> again;
  const BatchPlan* plan = &plan_;
  for (;;) {
    std::vector<QString> later;
    QString reason;
    if (!RunPass(*plan, &pass, &result, &later, &reason)) {
      result.unreached += QStringList(later.begin(), later.end());
      break;
    }
    if (later.empty()) break;
    // Those refused for now get the message in a pass of their own, after a pause.
    const std::optional<std::chrono::minutes> pause = pass.schedule.Next();
    if (!pause || !Wait(*pause, reason, &pass)) {
      result.cancelled = pause.has_value();
      result.unreached += QStringList(later.begin(), later.end());
      break;
    }
    again = std::make_unique<BatchPlan>(std::move(later), batch_size);
    plan = again.get();
    result.messages += static_cast<int>(plan->batch_count());
  }
  // Back in list order, whichever pass left them out.
  QHash<QString, size_t> position;
  for (size_t i = plan_.recipients().size(); i-- > 0;) position[plan_.recipients()[i]] = i;
  std::stable_sort(result.unreached.begin(), result.unreached.end(),
                   [&position](const QString& a, const QString& b) {
                     return position.value(a) < position.value(b);
                   });
  return result;
}

bool RecordedRun::RunPass(const BatchPlan& plan, Pass* pass, RecordedRunResult* result,
                          std::vector<QString>* later, QString* later_reason) {
  MailerClient& mailer = pass->mailer;
  for (size_t index = 0; index < plan.batch_count();) {
    if (pass->progress.CancelRequested()) {
      result->cancelled = true;
      AddUnreached(plan, index, result);
      return false;
    }
    pass->progress.MessageStarting(result->sent + 1, result->messages, result->reached);
    const std::span<const QString> batch = plan.batch(index);
    QString why;
    if (!SendStoredMessage(mailer, inputs_, BatchList(Addresses(batch).join(", "), list_headers_),
                           &why)) {
      result->stopped = kNotHandedToMailer + why;
      AddUnreached(plan, index, result);
      return false;
    }
    MailerOutcome outcome;
    if (!ReadOutcome(mailer, &outcome, &why)) {
      result->stopped = kAnswerNotRead + why;
      AddUnreached(plan, index, result);
      return false;
    }
    ++pass->tries;
    const QDateTime ended = QDateTime::currentDateTime();
    const QString reply = mailer.OptionalText("ServerReply");
    std::vector<Refusal> account;
    if (outcome.ok()) {
      account =
          AccountForBatch(batch, ParseRefusedRecipients(mailer.OptionalText("RefusedRecipients")));
    } else {
      // Nobody got it: each subscriber shares the message's failure.
      const QString failure = reply.isEmpty() ? FailureText(outcome) : reply;
      for (const QString& address : batch) account.push_back({address, outcome.code, failure});
    }
    Record(pass->tries, account, reply, ended, result);
    if (!outcome.ok() && IsTemporary(outcome.code)) {
      // The whole message failed for now: the same batch again after a
      // pause, while the send may still wait.
      const std::optional<std::chrono::minutes> pause = pass->schedule.Next();
      if (pause) {
        if (!Wait(*pause, account.front().reply, pass)) {
          result->cancelled = true;
          AddUnreached(plan, index, result);
          return false;
        }
        continue;
      }
    }
    ++result->sent;
    ++index;
    if (outcome.ok()) {
      pass->schedule.Reset();
    } else {
      ++result->failed;
      result->last_failure = FailureText(outcome);
    }
    for (const Refusal& entry : account) {
      if (entry.code == 0) {
        ++result->reached;
      } else if (entry.code == -1) {
        // No reply came: the message may have gone. Not tried again by
        // itself, but offered to the operator.
        result->unreached << entry.address;
      } else if (!IsTemporary(entry.code)) {
        result->refused.push_back(entry);
      } else if (outcome.ok()) {
        later->push_back(entry.address);
        *later_reason = entry.reply;
      } else {
        result->unreached << entry.address;  // past the send's waiting
      }
    }
  }
  return true;
}

void RecordedRun::Record(int number, const std::vector<Refusal>& account, const QString& reply,
                         const QDateTime& ended, RecordedRunResult* result) {
  // A record that cannot be written does not stop the send; the first
  // reason is told at the end.
  QString record_error;
  bool recorded = true;
  for (const Refusal& entry : account) {
    recorded = recorded && record_.AddRow(number, entry.address, ended, entry.code,
                                          entry.code == 0 ? reply : entry.reply, &record_error);
  }
  if (!recorded && result->record_error.isEmpty()) result->record_error = record_error;
}

bool RecordedRun::Wait(std::chrono::minutes pause, const QString& reason, Pass* pass) {
  const QDateTime until = pass->retries.waiter->Now().addSecs(pause.count() * 60);
  pass->progress.Waiting(WaitingUntil(until, reason));
  return pass->retries.waiter->WaitUntil(until, pass->progress);
}

void RecordedRun::AddUnreached(const BatchPlan& plan, size_t from, RecordedRunResult* result) {
  for (size_t i = from; i < plan.batch_count(); ++i) result->unreached += Addresses(plan.batch(i));
}

}  // namespace verdanpost
