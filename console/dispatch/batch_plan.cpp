#include "console/dispatch/batch_plan.h"

#include <algorithm>
#include <utility>

#include "console/dispatch/control_characters.h"

namespace verdanpost {

BatchPlan::BatchPlan(std::vector<QString> addresses, int64_t batch_size)
    : recipients_(std::move(addresses)), batch_size_(static_cast<size_t>(batch_size)) {
  skipped_ = static_cast<int64_t>(std::erase_if(
      recipients_, [](const QString& address) { return !IsSendableAddress(address); }));
}

size_t BatchPlan::batch_count() const {
  return (recipients_.size() + batch_size_ - 1) / batch_size_;
}

std::span<const QString> BatchPlan::batch(size_t index) const {
  const size_t first = index * batch_size_;
  return std::span<const QString>(recipients_)
      .subspan(first, std::min(batch_size_, recipients_.size() - first));
}

}  // namespace verdanpost
