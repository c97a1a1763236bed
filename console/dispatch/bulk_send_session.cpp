#include "console/dispatch/bulk_send_session.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

#include <QDateTime>
#include <QFile>
#include <QSet>

#include "console/dispatch/kept_send.h"
#include "console/dispatch/operator_texts.h"
#include "console/dispatch/recorded_run.h"
#include "console/dispatch/send_pacer.h"
#include "console/dispatch/send_recipe.h"
#include "console/dispatch/send_record.h"
#include "console/dispatch/send_retry.h"

namespace verdanpost {

namespace {

// Whether the run ended with subscribers who should have had the message.
bool MissedSome(const RecordedRunResult& result) {
  return result.failed > 0 || result.cancelled || !result.refused.empty() ||
         !result.day_limit.isEmpty() || (!result.stopped.isEmpty() && result.sent > 0);
}

// One round of a press of Send Message: the record and the batches, on the
// sending thread.
struct Round {
  QString refusal;  // set when nothing was sent
  SendRecord record;
  RecordedRunResult result;
};

// Who is on the list, when a kept send goes on: those who left it since
// are not sent to. Addresses in lower case.
struct OnList {
  QSet<QString> addresses;
  bool known = false;  // false: everyone counts as on it

  bool Has(const QString& address) const { return !known || addresses.contains(address.toLower()); }
};

// Sends `job` with a record of its own in `record_folder`, kept in *kept
// (made by the first round) until every subscriber of the send who is
// still `on_list` is accounted for.
void RunRound(MailerFactory& mailers, const QString& record_folder, const BulkSendJob& job,
              const QString& subject, const ServerLimits& limits, const OnList& on_list,
              std::unique_ptr<KeptSend>* kept, SendProgress& progress, Round* round) {
  QString err;
  const QDateTime start = QDateTime::currentDateTime();
  if (!round->record.Create(record_folder, start, &err)) {
    round->refusal = kRecordNotCreated + err;
    return;
  }
  const bool new_send = *kept == nullptr;
  if (new_send) {
    *kept = KeptSend::Create(round->record.path(), job.inputs, job.recipients, job.batch_size,
                             job.list_headers, subject, start, &err);
  } else if (!(*kept)->AddRecord(round->record.path(), &err)) {
    kept->reset();
  }
  if (*kept == nullptr) {
    // Nothing went out: a record that names no message is no help.
    round->record.Discard();
    round->refusal = kRecordNotCreated + err;
    return;
  }
  // The messages of the last day count against the server's limits, across
  // sends; without limits nothing needs them.
  const bool paced = limits.messages_per_minute > 0 || limits.messages_per_hour > 0 ||
                     limits.recipients_per_day > 0;
  SendPacer pacer(
      limits, paced ? ReadSendHistory(record_folder, CurrentSendRetries().waiter->Now().addDays(-1))
                    : std::vector<SentMessage>());
  const BatchPlan batches(job.recipients, job.batch_size);
  RecordedRun run(job.inputs, batches, round->record, job.list_headers, {&pacer, kept->get()});
  round->result = run.Run(mailers, progress);
  const RecordedRunResult& result = round->result;
  // A send that stopped before its first message went is told as it
  // failed, and pressed again: nothing to go on with.
  const bool never_started = new_send && result.sent == 0 && !result.stopped.isEmpty();
  const std::vector<QString> rest = (*kept)->Reckon().rest;
  if (never_started || std::none_of(rest.begin(), rest.end(),
                                    [&on_list](const QString& a) { return on_list.Has(a); })) {
    (*kept)->Forget();
    kept->reset();
  }
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
  if (!result.day_limit.isEmpty()) lines << DayLimitReached(result.day_limit, result.day_free_from);
  if (result.failed > 0) lines << BatchesFailed(result.failed, result.sent, result.last_failure);
  if (!result.refused.empty()) lines << RefusedSubscribers(result.refused);
  if (lines.isEmpty()) lines << kMessageSent;
  if (!result.record_error.isEmpty()) lines << kRecordNotWritten + result.record_error;
  return lines.join('\n');
}

// The batch size a send uses at `limits`' server.
int64_t BatchSizeWithin(int64_t batch_size, const ServerLimits& limits) {
  if (limits.recipients_per_message > 0) {
    return std::min(batch_size, limits.recipients_per_message);
  }
  return batch_size;
}

// Sends `job` round after round: after each, the report, and while some
// subscribers were not reached for a reason that may pass, the question
// whether to send to them now. `kept` is the kept send it goes on, or
// nullptr for a new one.
void RunRounds(OperationsView& view, MailerFactory& mailers, const QString& record_folder,
               BulkSendJob job, const QString& subject, const ServerLimits& limits,
               const OnList& on_list, std::unique_ptr<KeptSend> kept) {
  for (;;) {
    Round round;
    view.RunSend([&](SendProgress& progress) {
      RunRound(mailers, record_folder, job, subject, limits, on_list, &kept, progress, &round);
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
    // Those refused for good are not offered again, nor is a send the
    // server takes no more of today.
    if (result.unreached.isEmpty() || !result.day_limit.isEmpty()) {
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

// Offers each kept send in turn, with whom it has still to reach on the
// list as it is now. true when one was sent on (the press of Send Message
// ends with it), false when the operator kept or discarded them all, or
// when the list could not be read (said).
bool OfferKeptSends(OperationsView& view, MailerFactory& mailers, const ListReader& read_list,
                    const QString& record_folder, bool* list_failed) {
  std::vector<std::unique_ptr<KeptSend>> kept = KeptSend::FindAll(record_folder);
  if (kept.empty()) return false;
  // Who is on the list now: a subscriber removed since is not sent to.
  OnList on_list;
  if (read_list) {
    std::vector<QString> addresses;
    QString err;
    bool read = false;
    view.RunSend([&](SendProgress& progress) {
      read = read_list(&addresses, &err, [&progress] { return progress.CancelRequested(); });
    });
    if (!read) {
      view.ShowMessage(err);
      *list_failed = true;
      return false;
    }
    for (const QString& address : addresses) on_list.addresses.insert(address.toLower());
    on_list.known = true;
  }
  for (std::unique_ptr<KeptSend>& send : kept) {
    KeptSend::Account account = send->Reckon();
    std::erase_if(account.rest,
                  [&on_list](const QString& address) { return !on_list.Has(address); });
    if (account.rest.empty()) {
      send->Forget();  // nobody left to reach
      continue;
    }
    const KeptSendChoice choice =
        view.AskKeptSend(ResumeKeptSend(send->subject(), send->started(), account.reached,
                                        account.total, static_cast<int64_t>(account.rest.size())));
    if (choice == KeptSendChoice::kDiscard) {
      send->Forget();
      continue;
    }
    if (choice == KeptSendChoice::kLater) continue;
    BulkSendJob job;
    job.inputs = send->inputs();
    // Checked again as at the first send: the kept file could have been
    // changed or removed since.
    QString refusal;
    if (!CheckSendable(job.inputs, StoredMessage::kMessages, &refusal)) {
      view.ShowMessage(refusal);
      return true;
    }
    job.recipients = std::move(account.rest);
    job.list_headers = send->list_headers();
    const ServerLimits limits = ServerSendLimits(job.inputs.setup.SMTPServer);
    job.batch_size = BatchSizeWithin(send->batch_size(), limits);
    const QString subject = send->subject();
    RunRounds(view, mailers, record_folder, std::move(job), subject, limits, on_list,
              std::move(send));
    return true;
  }
  return false;
}

}  // namespace

void SendInBatches(OperationsView& view, MailerFactory& mailers, const BulkSendPlanner& plan,
                   const QString& record_folder, const ListReader& read_list) {
  bool list_failed = false;
  if (OfferKeptSends(view, mailers, read_list, record_folder, &list_failed) || list_failed) return;
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
  const ServerLimits limits = ServerSendLimits(job.inputs.setup.SMTPServer);
  job.batch_size = BatchSizeWithin(job.batch_size, limits);
  const auto subscribers = static_cast<int64_t>(job.recipients.size());
  const int64_t messages = (subscribers + job.batch_size - 1) / job.batch_size;
  if (!view.AskMessage(ConfirmBulkSend(subject, subscribers, messages))) return;
  RunRounds(view, mailers, record_folder, std::move(job), subject, limits, OnList(), nullptr);
}

}  // namespace verdanpost
