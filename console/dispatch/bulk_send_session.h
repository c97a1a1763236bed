#ifndef VERDANPOST_CONSOLE_DISPATCH_BULK_SEND_SESSION_H_
#define VERDANPOST_CONSOLE_DISPATCH_BULK_SEND_SESSION_H_

#include <cstdint>
#include <vector>

#include <QString>
#include <QStringList>

#include "console/dispatch/batch_run.h"
#include "console/dispatch/mailer_client.h"
#include "console/window/console_operations.h"

namespace verdanpost {

// Cuts `recipients` into consecutive batches of `batch_size` (at least 1) in
// their order, the last one holding the rest.
std::vector<QStringList> CutIntoBatches(const QStringList& recipients, int64_t batch_size);

// The report of one run of batches: how it ended, its failures, and the
// record's path when a message failed or the send was cancelled or stopped.
QString BulkSendReport(const BatchRunResult& result, const QString& record_path);

// The rest of a press of Send Message once the list has been read and the
// send checked: `inputs` to `recipients` in batches of `batch_size`, run by
// `view` off the window's thread with a record in `record_folder`, then one
// box that reports it. `note` (may be empty) follows the report on a new line.
// When subscribers were not reached, the box asks whether to send to them
// now, and Yes sends the same message to just them in the same way.
void SendInBatches(OperationsView& view, MailerFactory& mailers, const SendInputs& inputs,
                   const QStringList& recipients, int64_t batch_size, const QString& note,
                   const QString& record_folder);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_BULK_SEND_SESSION_H_
