#include "console/dispatch/bulk_send.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "console/dispatch/batch_plan.h"
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

}  // namespace

bool PlanBulkSend(const std::function<SendInputs()>& read_inputs, const char* data_source,
                  BulkSendJob* job, QString* err) {
  // The whole list first, and the read closed, before a message goes out;
  // the window's controls are read once the list is in.
  std::vector<QString> addresses;
  if (!ReadListAddresses(data_source, &addresses, err, job->cancelled)) return false;
  job->inputs = read_inputs();
  if (!CheckSendable(job->inputs, StoredMessage::kMessages, err)) return false;
  if (!ChooseBatchSize(job->inputs.setup, static_cast<int64_t>(addresses.size()), &job->batch_size,
                       err)) {
    return false;
  }
  const BatchPlan plan(std::move(addresses), job->batch_size);
  job->note = plan.skipped() > 0 ? SubscribersSkipped(plan.skipped()) : QString();
  if (plan.empty()) {
    *err = kListEmpty;
    if (!job->note.isEmpty()) *err += '\n' + job->note;
    return false;
  }
  job->recipients = plan.recipients();
  return true;
}

}  // namespace verdanpost
