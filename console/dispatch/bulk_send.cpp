#include "console/dispatch/bulk_send.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "console/dispatch/batch_size.h"
#include "console/dispatch/send_recipe.h"
#include "console/mailinglist/list_database.h"

namespace verdanpost {

namespace {

constexpr int64_t kMaxBatchSize = 32767;

QString DatabaseError(const mailinglist::Status& status) {
  return kListNotRead + QString::fromStdString(status.message());
}

bool Refuse(const char* text, QString* err) {
  *err = text;
  return false;
}

// Walks the list and hands each batch to the mailer; counts what the mailer
// said of each.
class BatchWalk {
 public:
  BatchWalk(MailerClient& mailer, const SendInputs& inputs, int64_t batch_size)
      : mailer_(mailer), inputs_(inputs), batch_size_(batch_size) {}

  // false with *err when reading the list, a file or a mailer call failed;
  // the walk stops there.
  bool Run(mailinglist::Recordset& list, QString* err) {
    std::string address;
    while (!list.eof()) {
      mailinglist::Status status = mailinglist::FieldText(list, "E-Mail", &address);
      if (!status.ok()) return Fail(DatabaseError(status), err);
      // A row without an address would put an empty recipient in the batch
      // and cost the whole batch its delivery.
      const QString text = QString::fromStdString(address);
      if (!text.trimmed().isEmpty()) {
        if (count_ > 0) batch_ += ", ";
        batch_ += text;
        if (++count_ == batch_size_ && !SendBatch(err)) return false;
      }
      status = list.MoveNext();
      if (!status.ok()) return Fail(DatabaseError(status), err);
    }
    return count_ == 0 || SendBatch(err);
  }

  int sent() const { return sent_; }
  int failed() const { return failed_; }
  const QString& last_failure() const { return last_failure_; }

 private:
  bool SendBatch(QString* err) {
    QString error;
    if (!SendStoredMessage(mailer_, inputs_, BatchList{batch_}, &error)) {
      return Fail(kNotHandedToMailer + error, err);
    }
    MailerOutcome outcome;
    if (!ReadOutcome(mailer_, &outcome, &error)) {
      return Fail(kAnswerNotRead + error, err);
    }
    ++sent_;
    if (!outcome.ok()) {
      ++failed_;
      last_failure_ = FailureText(outcome);
    }
    batch_.clear();
    count_ = 0;
    return true;
  }

  bool Fail(const QString& text, QString* err) {
    *err = sent_ == 0 ? text : SendingStopped(sent_, text);
    return false;
  }

  MailerClient& mailer_;
  const SendInputs& inputs_;
  const int64_t batch_size_;
  QString batch_;      // the addresses so far, joined by ", "
  int64_t count_ = 0;  // addresses in batch_
  int sent_ = 0;       // batches the mailer has tried
  int failed_ = 0;     // of those, the ones it could not send
  QString last_failure_;
};

}  // namespace

bool BulkSend(const std::function<SendInputs()>& read_inputs, MailerFactory& mailers,
              const char* data_source, QString* err) {
  // The list first: the window's controls are read once it is open.
  mailinglist::ListConnection connection;
  mailinglist::Status status = connection.Open(data_source);
  if (!status.ok()) {
    *err = kListNotOpened + QString::fromStdString(status.message());
    return false;
  }
  mailinglist::Recordset list;
  // Only the addresses are read, so only they are fetched.
  status =
      list.Open(database::Select{mailinglist::kMailingList, {"E-Mail"}, "", {}}, connection.get());
  int64_t count = 0;
  if (status.ok()) status = list.RecordCount(&count);
  if (!status.ok()) {
    *err = DatabaseError(status);
    return false;
  }

  const SendInputs inputs = read_inputs();
  const SetupSettings& setup = inputs.setup;
  const std::optional<int16_t> limit = BatchSizeFromText(setup.RecipientsPerMessage);
  if (count == 0) return Refuse(kListEmpty, err);
  int64_t batch_size = count;
  if (setup.LimitRecipientsPerMessage != kUnchecked) {
    if (!limit.has_value() || *limit < 1) return Refuse(kBadBatchSize, err);
    batch_size = *limit;
  } else if (count > kMaxBatchSize) {
    return Refuse(kListTooLong, err);
  }

  std::unique_ptr<MailerClient> mailer;
  QString why;
  if (!SetUpMailer(mailers, setup.SMTPServer, setup.CopyMessages == kUnchecked, &mailer, &why)) {
    *err = kMailerNotCreated + why;
    return false;
  }

  BatchWalk walk(*mailer, inputs, batch_size);
  const bool walked = walk.Run(list, err);
  list.Close();
  connection.Close();
  if (!walked) return false;
  if (walk.sent() == 0) return Refuse(kListEmpty, err);
  if (walk.failed() == 0) return true;
  *err = BatchesFailed(walk.failed(), walk.sent(), walk.last_failure());
  return false;
}

}  // namespace verdanpost
