#ifndef VERDANPOST_CONSOLE_DISPATCH_BULK_SEND_SESSION_H_
#define VERDANPOST_CONSOLE_DISPATCH_BULK_SEND_SESSION_H_

#include <cstdint>
#include <functional>
#include <vector>

#include <QString>
#include <QStringList>

#include "console/dispatch/batch_run.h"
#include "console/dispatch/mailer_client.h"
#include "console/window/console_operations.h"

namespace verdanpost {

// What a bulk send sends: the message, to whom, in which batches, and what
// its report adds on a line of its own (may be empty).
struct BulkSendJob {
  SendInputs inputs;
  QStringList recipients;  // in list order, each fit to stand in a message
  int64_t batch_size = 1;  // at least 1
  QString note;
};

// Reads the list and the window into *job; false with *err, the text to
// show, when nothing is to be sent. Runs on the sending thread.
using PlanBulkSend = std::function<bool(BulkSendJob* job, QString* err)>;

// Cuts `recipients` into consecutive batches of `batch_size` (at least 1) in
// their order, the last one holding the rest.
std::vector<QStringList> CutIntoBatches(const QStringList& recipients, int64_t batch_size);

// The report of one run of batches: how it ended, its failures, and the
// record's path when a message failed or the send was cancelled or stopped.
QString BulkSendReport(const BatchRunResult& result, const QString& record_path);

// A press of Send Message: `plan`, then the job's batches through one mailer
// made by `mailers`, all off the window's thread through `view`, with a
// record in `record_folder`; then one box that reports it. When subscribers
// were not reached, the box asks whether to send to them now, and Yes sends
// the same message to just them in the same way.
void SendInBatches(OperationsView& view, MailerFactory& mailers, const PlanBulkSend& plan,
                   const QString& record_folder);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_BULK_SEND_SESSION_H_
