#ifndef VERDANPOST_CONSOLE_DISPATCH_BULK_SEND_SESSION_H_
#define VERDANPOST_CONSOLE_DISPATCH_BULK_SEND_SESSION_H_

#include <cstdint>
#include <functional>
#include <vector>

#include <QString>
#include <QStringList>

#include "console/dispatch/console_operations.h"
#include "console/dispatch/mailer_client.h"

namespace verdanpost {

// What a bulk send sends: the message, to whom, in which batches, and what
// its report adds on a line of its own (may be empty).
struct BulkSendJob {
  SendInputs inputs;
  std::vector<QString> recipients;  // in list order
  int64_t batch_size = 1;           // at least 1
  QString note;
  // While the plan runs: whether the operator asked to stop (the reading of
  // the list asks it while it waits for the database).
  std::function<bool()> cancelled;
  QStringList list_headers;  // "Name: value" lines every message carries
};

// Reads the list and the window into *job; false with *err, the text to
// show, when nothing is to be sent. Runs on the sending thread.
using BulkSendPlanner = std::function<bool(BulkSendJob* job, QString* err)>;

// Reads every address of the list into *addresses; false with *err, the
// text to show, when it could not. Stops when `cancelled` says so.
using ListReader = std::function<bool(std::vector<QString>* addresses, QString* err,
                                      const std::function<bool()>& cancelled)>;

// A press of Send Message. First, for each send kept because it did not
// reach everyone (oldest first), the question whether to send it now to
// those it did not reach who are still on the list (`read_list`; without
// one, to all it did not reach): Yes sends it and ends the press, No keeps
// it, Discard forgets it. Then `plan`, then the question whether to send the
// message to that many subscribers in that many messages (ConfirmBulkSend;
// No sends nothing), then the job's batches through one mailer made by
// `mailers`, planned and sent off the window's thread through `view`, with
// a record in `record_folder`, paced to the limits of the server's section
// in servers.ini (its RecipientsPerMessage caps the batch size); then one
// box that reports it, adds the job's
// note, and names the record when a message failed or the send was cancelled
// or stopped. When subscribers were not reached, the box asks whether to
// send to them now, and Yes sends the same message to just them in the same
// way. The send is kept beside its records until every subscriber is
// accounted for.
void SendInBatches(OperationsView& view, MailerFactory& mailers, const BulkSendPlanner& plan,
                   const QString& record_folder, const ListReader& read_list = nullptr);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_BULK_SEND_SESSION_H_
