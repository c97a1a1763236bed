#ifndef VERDANPOST_CONSOLE_DISPATCH_RECORDED_RUN_H_
#define VERDANPOST_CONSOLE_DISPATCH_RECORDED_RUN_H_

#include <chrono>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include <QString>
#include <QStringList>

#include "console/dispatch/batch_plan.h"
#include "console/dispatch/console_operations.h"
#include "console/dispatch/kept_send.h"
#include "console/dispatch/mailer_client.h"
#include "console/dispatch/refusals.h"
#include "console/dispatch/send_pacer.h"
#include "console/dispatch/send_progress.h"
#include "console/dispatch/send_record.h"
#include "console/dispatch/send_retry.h"

namespace verdanpost {

// What a recorded run of batches came to.
struct RecordedRunResult {
  int messages = 0;  // batches planned, those of later passes included
  int sent = 0;      // of those, the ones that came to an end
  int failed = 0;    // of those, the ones nobody got, in the end
  QString last_failure;
  int64_t reached = 0;  // subscribers who got the message
  bool cancelled = false;
  // Why the run stopped before its end when the mailer could not be made, a
  // mailer call or a file failed (not a refusal by the server: that is a
  // failed message); empty else.
  QString stopped;
  // Why the record could not be written, when it could not; the messages
  // still went out.
  QString record_error;
  // The subscribers not reached for a reason that may pass (a 4xx reply, a
  // failed connection) and those never tried, in list order.
  QStringList unreached;
  // The subscribers refused for good (a 5xx reply, an address the mailer
  // refused), in list order: not to be sent to again.
  std::vector<Refusal> refused;
  // When the run stopped because the server's day is full: what the server
  // allows, and from when the rest may go; empty and invalid else.
  QString day_limit;
  QDateTime day_free_from;
};

// What a recorded run keeps to: the server's limits with the messages that
// count against them, and the kept send whose journal names each message's
// subscribers before it goes. Either may be missing.
struct RunKeeping {
  SendPacer* pacer = nullptr;
  KeptSend* kept = nullptr;
};

// Sends the batches of `plan` through one mailer that it makes with `mailers`
// on the thread that calls Run (a mailer must be used on the thread that
// made it), in one session with per-recipient delivery, ended at the end
// whatever happened. Each message waits as long as the pacer asks, and the
// run stops when the server's day is full. Once the server has said that it
// takes fewer recipients in one message (the mailer's RecipientLimit), the
// rest of the run sends batches of that size. A message that failed for now (a 4xx reply, a failed
// connection) is sent again after a pause, and those refused for now get it
// in a further pass after a pause, while the pauses (CurrentSendRetries)
// stay within their limit. Asks `progress` for Cancel before each message, so a
// message on the wire is never cut off, and adds one row per subscriber of
// each message tried to `record`. Every batch is attempted, whatever the
// mailer says of the one before.
class RecordedRun {
 public:
  // `inputs`, `plan` and `record` must outlive Run. Every message carries
  // `list_headers` ("Name: value" lines; see BatchList for a raw send).
  RecordedRun(const SendInputs& inputs, const BatchPlan& plan, SendRecord& record,
              QStringList list_headers = {}, RunKeeping keeping = {})
      : inputs_(inputs),
        plan_(plan),
        record_(record),
        list_headers_(std::move(list_headers)),
        keeping_(keeping) {}

  RecordedRunResult Run(MailerFactory& mailers, SendProgress& progress);

 private:
  // What the passes of one run share.
  struct Pass {
    MailerClient& mailer;
    SendProgress& progress;
    SendRetries retries;
    RetrySchedule schedule;
    size_t batch_size;
    int tries = 0;  // messages handed to the mailer: the record's numbers
  };

  // Sends `recipients` in batches, each whole message that fails for now
  // again after a pause; the subscribers refused for now go to *later, with
  // the words of the last refusal in *later_reason. false when the run
  // ends here: cancelled, stopped or the day full.
  bool RunPass(std::span<const QString> recipients, Pass* pass, RecordedRunResult* result,
               std::vector<QString>* later, QString* later_reason);
  // Waits until the pacer lets a message of *size recipients go, and makes
  // *size what it allows; false when the run ends here.
  bool Pace(Pass* pass, size_t* size, RecordedRunResult* result);
  void Record(int number, const std::vector<Refusal>& account, const QString& reply,
              const QDateTime& ended, RecordedRunResult* result);
  // Tells `pass`'s progress until when, then waits; false when cancelled.
  static bool Wait(std::chrono::minutes pause, const QString& reason, Pass* pass);

  const SendInputs& inputs_;
  const BatchPlan& plan_;
  SendRecord& record_;
  const QStringList list_headers_;
  const RunKeeping keeping_;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_RECORDED_RUN_H_
