#ifndef VERDANPOST_CONSOLE_DISPATCH_BULK_SEND_H_
#define VERDANPOST_CONSOLE_DISPATCH_BULK_SEND_H_

#include <functional>

#include <QString>

#include "console/dispatch/bulk_send_session.h"
#include "console/dispatch/console_operations.h"
#include "console/dispatch/operator_texts.h"

namespace verdanpost {

// Reads every address of MailingList on the data source `data_source`, then
// the window's controls through `read_inputs`, and plans the send of the
// definition they hold to the list into *job: the addresses in list order,
// without those that are empty or hold a line break or another control
// character (the job's note tells how many were left out), and the batch
// size. The read is closed before it returns. false with *err, the text to
// show the operator, when nothing is to be sent: the list could not be read,
// it is empty, the batch size could never end the walk, or the list is too
// long to go out whole, or the operator cancelled while it was read
// (job->cancelled). `read_inputs` is called once, after the list has been
// read, and not at all when it could not be.
bool PlanBulkSend(const std::function<SendInputs()>& read_inputs, const char* data_source,
                  BulkSendJob* job, QString* err);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_BULK_SEND_H_
