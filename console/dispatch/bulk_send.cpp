#include "console/dispatch/bulk_send.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "console/dispatch/batch_size.h"
#include "console/mailinglist/list_database.h"

namespace verdanpost {

namespace {

constexpr int64_t kMaxBatchSize = 32767;

QString DatabaseError(const mailinglist::Status& status) {
  return "The mailing list could not be read: " + QString::fromStdString(status.message());
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
      return Fail("The message could not be handed to the mailer: " + error, err);
    }
    MailerOutcome outcome;
    if (!ReadOutcome(mailer_, &outcome, &error)) {
      return Fail("The mailer's answer could not be read: " + error, err);
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
    *err = sent_ == 0
               ? text
               : QString("Sending stopped after %1 messages: %2").arg(QString::number(sent_), text);
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

QString RunBulkSend(const SendInputs& inputs, const char* data_source) {
  return RunBulkSend([&inputs] { return inputs; }, data_source);
}

QString RunBulkSend(const std::function<SendInputs()>& read_inputs, const char* data_source) {
  // The list first: the window's controls are read once it is open.
  mailinglist::ListConnection connection;
  mailinglist::Status status = connection.Open(data_source);
  if (!status.ok()) {
    return "The mailing list could not be opened: " + QString::fromStdString(status.message());
  }
  mailinglist::Recordset list;
  // Only the addresses are read, so only they are fetched.
  status =
      list.Open(database::Select{mailinglist::kMailingList, {"E-Mail"}, "", {}}, connection.get());
  int64_t count = 0;
  if (status.ok()) status = list.RecordCount(&count);
  if (!status.ok()) return DatabaseError(status);

  const SendInputs inputs = read_inputs();
  const SetupSettings& setup = inputs.setup;
  const std::optional<int16_t> limit = BatchSizeFromText(setup.RecipientsPerMessage);
  if (count == 0) return kListEmpty;
  int64_t batch_size = count;
  if (setup.LimitRecipientsPerMessage != kUnchecked) {
    if (!limit.has_value() || *limit < 1) return kBadBatchSize;
    batch_size = *limit;
  } else if (count > kMaxBatchSize) {
    return kListTooLong;
  }

  QString err;
  std::unique_ptr<MailerClient> mailer =
      SetUpMailer(setup.SMTPServer, setup.CopyMessages == kUnchecked, &err);
  if (mailer == nullptr) return "The mailer could not be created: " + err;

  BatchWalk walk(*mailer, inputs, batch_size);
  const bool walked = walk.Run(list, &err);
  list.Close();
  connection.Close();
  if (!walked) return err;
  if (walk.sent() == 0) return kListEmpty;
  if (walk.failed() == 0) return kMessageSent;
  return QString("%1 of %2 messages could not be sent. Last error: %3")
      .arg(QString::number(walk.failed()), QString::number(walk.sent()), walk.last_failure());
}

}  // namespace verdanpost
