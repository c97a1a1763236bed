#ifndef VERDANPOST_CONSOLE_DISPATCH_BATCH_PLAN_H_
#define VERDANPOST_CONSOLE_DISPATCH_BATCH_PLAN_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include <QString>

namespace verdanpost {

// The batches of a bulk send, planned before anything is sent: the list's
// sendable addresses in list order, cut into consecutive batches of the
// batch size, the last one holding the rest. Addresses that may not stand
// in a message (empty, blank, or holding a line break or another control
// character) are left out and counted.
class BatchPlan {
 public:
  // `batch_size` is at least 1.
  BatchPlan(std::vector<QString> addresses, int64_t batch_size);

  bool empty() const { return recipients_.empty(); }
  // The sendable addresses, in list order: the batches one after another.
  const std::vector<QString>& recipients() const { return recipients_; }
  size_t batch_count() const;
  size_t batch_size() const { return batch_size_; }
  // The addresses of batch `index` (0-based), in list order.
  std::span<const QString> batch(size_t index) const;
  // How many of the list's addresses were left out.
  int64_t skipped() const { return skipped_; }

 private:
  std::vector<QString> recipients_;
  size_t batch_size_;
  int64_t skipped_ = 0;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_BATCH_PLAN_H_
