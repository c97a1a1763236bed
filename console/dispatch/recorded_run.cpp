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

// Whether the server refused the subscriber of `entry` for good (a 5xx
// reply, an address the mailer refused), not just for now.
bool RefusedForGood(const Refusal& entry) {
  return entry.code != 0 && entry.code != -1 && !IsTemporary(entry.code);
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
    result.unreached += Addresses(plan_.recipients());
    return result;
  }
  SessionEnd session_end(*mailer);
  Pass pass{*mailer, progress, CurrentSendRetries(), RetrySchedule(CurrentSendRetries().limit),
            plan_.batch_size()};
  std::vector<QString> again;
  std::span<const QString> recipients = plan_.recipients();
  for (;;) {
    std::vector<QString> later;
    QString reason;
    if (!RunPass(recipients, &pass, &result, &later, &reason)) {
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
    again = std::move(later);
    recipients = again;
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

bool RecordedRun::Pace(Pass* pass, size_t* size, RecordedRunResult* result) {
  if (keeping_.pacer == nullptr) return true;
  SendWaiter& waiter = *pass->retries.waiter;
  const SendPacer::Slot slot = keeping_.pacer->Next(waiter.Now(), static_cast<int64_t>(*size));
  if (slot.recipients == 0) {
    result->day_limit = slot.reason;
    result->day_free_from = slot.at;
    return false;
  }
  *size = static_cast<size_t>(slot.recipients);
  if (slot.at <= waiter.Now()) return true;
  pass->progress.Waiting(PacingUntil(slot.at, slot.reason));
  if (waiter.WaitUntil(slot.at, pass->progress)) return true;
  result->cancelled = true;
  return false;
}

bool RecordedRun::RunPass(std::span<const QString> recipients, Pass* pass,
                          RecordedRunResult* result, std::vector<QString>* later,
                          QString* later_reason) {
  MailerClient& mailer = pass->mailer;
  // Subscribers the server refused for good in a try of a message that
  // failed for now: the tries again leave them out, and they count as
  // refused when their message ends.
  QHash<QString, Refusal> settled;
  // Gives up recipients[from...]: those refused for good stay so, the rest
  // were not reached.
  const auto give_up = [&](size_t from) {
    for (const QString& address : recipients.subspan(from)) {
      const auto found = settled.constFind(address);
      if (found != settled.constEnd()) {
        result->refused.push_back(*found);
      } else {
        result->unreached << address;
      }
    }
  };
  for (size_t next = 0; next < recipients.size();) {
    const size_t left = recipients.size() - next;
    // The messages planned: those that ended, and this pass's rest in
    // batches of the size the run now uses.
    result->messages =
        result->sent + static_cast<int>((left + pass->batch_size - 1) / pass->batch_size);
    if (pass->progress.CancelRequested()) {
      result->cancelled = true;
      give_up(next);
      return false;
    }
    size_t size = std::min(pass->batch_size, left);
    if (!Pace(pass, &size, result)) {
      give_up(next);
      return false;
    }
    pass->progress.MessageStarting(result->sent + 1, result->messages, result->reached);
    const std::span<const QString> batch = recipients.subspan(next, size);
    std::vector<QString> offered;
    for (const QString& address : batch) {
      if (!settled.contains(address)) offered.push_back(address);
    }
    if (offered.empty()) {
      // Each of them was refused for good by an earlier try: nobody is
      // left to send this message to.
      for (const QString& address : batch) result->refused.push_back(settled.take(address));
      ++result->sent;
      ++result->failed;
      result->last_failure = result->refused.back().reply;
      next += size;
      continue;
    }
    QString why;
    if (keeping_.kept != nullptr &&
        !keeping_.kept->Announce(record_.path(), pass->tries + 1, offered, &why)) {
      result->stopped = kRecordNotWritten + why;
      give_up(next);
      return false;
    }
    const QDateTime started = pass->retries.waiter->Now();
    if (!SendStoredMessage(mailer, inputs_, BatchList(Addresses(offered).join(", "), list_headers_),
                           &why)) {
      result->stopped = kNotHandedToMailer + why;
      give_up(next);
      return false;
    }
    MailerOutcome outcome;
    if (!ReadOutcome(mailer, &outcome, &why)) {
      result->stopped = kAnswerNotRead + why;
      give_up(next);
      return false;
    }
    ++pass->tries;
    const QDateTime ended = pass->retries.waiter->Now();
    const QString reply = mailer.OptionalText("ServerReply");
    std::vector<Refusal> account =
        AccountForBatch(offered, ParseRefusedRecipients(mailer.OptionalText("RefusedRecipients")));
    const QString failure = reply.isEmpty() ? FailureText(outcome) : reply;
    if (!outcome.ok()) {
      // Nobody got it: each subscriber shares the message's failure, but
      // one refused for good at RCPT TO keeps that refusal.
      for (Refusal& entry : account) {
        if (!RefusedForGood(entry)) entry = {entry.address, outcome.code, failure};
      }
    }
    Record(pass->tries, account, reply, ended, result);
    if (keeping_.pacer != nullptr) {
      keeping_.pacer->Sent(started, std::count_if(account.begin(), account.end(),
                                                  [](const Refusal& r) { return r.code == 0; }));
    }
    // The server takes fewer recipients in one message: so be it, for the
    // rest of the send.
    const int limit = mailer.OptionalText("RecipientLimit").toInt();
    if (limit > 0 && static_cast<size_t>(limit) < pass->batch_size) {
      pass->batch_size = static_cast<size_t>(limit);
    }
    if (!outcome.ok() && IsTemporary(outcome.code)) {
      // The whole message failed for now: the same batch again after a
      // pause, while the send may still wait.
      const std::optional<std::chrono::minutes> pause = pass->schedule.Next();
      if (pause) {
        for (const Refusal& entry : account) {
          if (RefusedForGood(entry)) settled.insert(entry.address, entry);
        }
        if (!Wait(*pause, failure, pass)) {
          result->cancelled = true;
          give_up(next);
          return false;
        }
        continue;
      }
    }
    // The message's subscribers in list order, those of earlier tries
    // included.
    if (!settled.isEmpty()) {
      std::vector<Refusal> whole;
      auto tried = account.begin();
      for (const QString& address : batch) {
        whole.push_back(settled.contains(address) ? settled.take(address) : *tried++);
      }
      account = std::move(whole);
    }
    ++result->sent;
    next += size;
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

}  // namespace verdanpost
