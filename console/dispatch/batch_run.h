#ifndef VERDANPOST_CONSOLE_DISPATCH_BATCH_RUN_H_
#define VERDANPOST_CONSOLE_DISPATCH_BATCH_RUN_H_

#include <cstdint>
#include <vector>

#include <QString>
#include <QStringList>

#include "console/dispatch/mailer_client.h"
#include "console/dispatch/send_record.h"
#include "console/window/console_operations.h"
#include "console/window/send_progress.h"

namespace verdanpost {

// What one run of batches came to.
struct BatchRunResult {
  int messages = 0;  // batches planned
  int sent = 0;      // messages the mailer tried: the rows of the record
  int failed = 0;    // of those, the ones the mailer could not send
  QString last_failure;
  int64_t reached = 0;  // subscribers of the messages that went out
  bool cancelled = false;
  // Why the run stopped before its end when a mailer call or a file failed
  // (not a refusal by the server, which is a failed message); empty else.
  QString stopped;
  // Set when the record could not be written; the messages still went out.
  QString record_error;
  // The subscribers of failed messages and of those never sent, in list order.
  QStringList unreached;
};

// Sends `batches`, one message each with the batch in Bcc, through one mailer
// that it creates with `mailers` on the thread that calls Run (the mailer
// must be used on the thread that made it). Checks `progress` for Cancel
// before each message, so a message on the wire is never cut off, and adds
// one row per message to `record`. Every batch is attempted, whatever the
// mailer says of the one before.
class BatchRun {
 public:
  // `record` must outlive Run.
  BatchRun(SendInputs inputs, std::vector<QStringList> batches, SendRecord& record);

  BatchRunResult Run(MailerFactory& mailers, SendProgress& progress);

 private:
  void SendBatch(MailerClient& mailer, const QStringList& batch, BatchRunResult* result);
  void AddUnreached(size_t from, BatchRunResult* result) const;

  const SendInputs inputs_;
  const std::vector<QStringList> batches_;
  SendRecord& record_;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_BATCH_RUN_H_
