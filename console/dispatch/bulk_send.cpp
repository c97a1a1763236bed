#include "console/dispatch/bulk_send.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "console/dispatch/batch_plan.h"
#include "console/dispatch/batch_run.h"
#include "console/dispatch/batch_size.h"
#include "console/dispatch/list_addresses.h"
#include "console/dispatch/send_recipe.h"

namespace verdanpost {

namespace {

constexpr int64_t kMaxBatchSize = 32767;

bool Refuse(const char* text, QString* err) {
  *err = text;
  return false;
}

// The batch size the Setup values ask for over a list of `list_size` rows;
// false with *err when the send must be refused: an empty list, a batch
// size that could never end the walk, a list too long to go out whole.
bool ChooseBatchSize(const SetupSettings& setup, int64_t list_size, int64_t* batch_size,
                     QString* err) {
  const std::optional<int16_t> limit = BatchSizeFromText(setup.RecipientsPerMessage);
  if (list_size == 0) return Refuse(kListEmpty, err);
  if (setup.LimitRecipientsPerMessage != kUnchecked) {
    if (!limit.has_value() || *limit < 1) return Refuse(kBadBatchSize, err);
    *batch_size = *limit;
  } else if (list_size > kMaxBatchSize) {
    return Refuse(kListTooLong, err);
  } else {
    *batch_size = list_size;
  }
  return true;
}

// The one report of a run: true when every batch went out; else *err says
// what failed and, when the run stopped on `stop`, after how many messages.
bool Report(const BatchRun& run, const QString& stop, QString* err) {
  const QString failures =
      run.failed() == 0 ? QString() : BatchesFailed(run.failed(), run.sent(), run.last_failure());
  if (!stop.isEmpty()) {
    *err = run.sent() == 0 ? stop : SendingStopped(run.sent(), stop);
    if (!failures.isEmpty()) *err += '\n' + failures;
    return false;
  }
  if (failures.isEmpty()) return true;
  *err = failures;
  return false;
}

}  // namespace

bool BulkSend(const std::function<SendInputs()>& read_inputs, MailerFactory& mailers,
              const char* data_source, QString* err, QString* note) {
  if (note != nullptr) note->clear();
  // The whole list first, and the read closed, before a message goes out;
  // the window's controls are read once the list is in.
  std::vector<QString> addresses;
  if (!ReadListAddresses(data_source, &addresses, err)) return false;
  const SendInputs inputs = read_inputs();
  const SetupSettings& setup = inputs.setup;
  int64_t batch_size = 0;
  if (!ChooseBatchSize(setup, static_cast<int64_t>(addresses.size()), &batch_size, err)) {
    return false;
  }
  const BatchPlan plan(std::move(addresses), batch_size);

  std::unique_ptr<MailerClient> mailer;
  QString why;
  if (!plan.empty() &&
      !SetUpMailer(mailers, setup.SMTPServer, setup.CopyMessages == kUnchecked, &mailer, &why)) {
    *err = kMailerNotCreated + why;
    return false;
  }
  // From here on the report tells of the addresses left out.
  if (note != nullptr && plan.skipped() > 0) *note = '\n' + SubscribersSkipped(plan.skipped());
  if (plan.empty()) return Refuse(kListEmpty, err);

  BatchRun run(*mailer, inputs, plan);
  QString stop;
  while (!run.done() && run.SendNext(&stop)) {
  }
  return Report(run, stop, err);
}

}  // namespace verdanpost
