#ifndef VERDANPOST_CONSOLE_DISPATCH_BATCH_RUN_H_
#define VERDANPOST_CONSOLE_DISPATCH_BATCH_RUN_H_

#include <cstddef>
#include <utility>

#include <QString>
#include <QStringList>

#include "console/dispatch/batch_plan.h"
#include "console/dispatch/mailer_client.h"
#include "console/dispatch/send_recipe.h"
#include "console/window/console_operations.h"

namespace verdanpost {

// Sends the batches of a plan through one mailer, one batch per step, and
// counts what the mailer said of each, so that a caller can drive the send
// step by step and report once at the end. `mailer`, `inputs` and `plan`
// must outlive it.
class BatchRun {
 public:
  // A raw send writes `list_headers` into each hand-off file (see BatchList).
  BatchRun(MailerClient& mailer, const SendInputs& inputs, const BatchPlan& plan,
           QStringList list_headers = {})
      : mailer_(mailer), inputs_(inputs), plan_(plan), list_headers_(std::move(list_headers)) {}

  bool done() const { return next_ == plan_.batch_count(); }
  // The batch the next step sends (0-based).
  size_t next_batch() const { return next_; }

  // Hands the next batch to the mailer and reads its answer, which counts as
  // a failure when it is not success; the step is made either way. false
  // with *err (the text to show) when the batch could not be handed to the
  // mailer or its answer not read: the step is not made, and the run stops.
  bool SendNext(QString* err);

  // Messages the mailer has tried, and of those the ones it could not send.
  int sent() const { return sent_; }
  int failed() const { return failed_; }
  // The mailer's answer to the last message tried.
  const MailerOutcome& last_outcome() const { return last_outcome_; }
  // The failure text of the last message that could not be sent.
  const QString& last_failure() const { return last_failure_; }

 private:
  MailerClient& mailer_;
  const SendInputs& inputs_;
  const BatchPlan& plan_;
  const QStringList list_headers_;
  size_t next_ = 0;
  int sent_ = 0;
  int failed_ = 0;
  MailerOutcome last_outcome_;
  QString last_failure_;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_BATCH_RUN_H_
