#ifndef VERDANPOST_PLATFORM_DATABASE_WRITE_LOCK_H_
#define VERDANPOST_PLATFORM_DATABASE_WRITE_LOCK_H_

#include <string>

#include "platform/database/connection.h"
#include "platform/database/status.h"

namespace verdanpost::database {

// A transaction that holds the write lock of one table from Begin to Commit,
// so that a check and the write that depends on it cannot interleave with
// another writer's: a second WriteLock on the table waits until the first
// ends. Readers are not held up. Ends with a rollback when it goes
// uncommitted. The Connection must outlive it.
class WriteLock {
 public:
  explicit WriteLock(Connection* connection) : connection_(connection) {}
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;
  ~WriteLock() { Rollback(); }

  // Waits up to |wait_seconds| for the lock of |table|.
  Status Begin(const std::string& table, int wait_seconds);
  // Makes every change since Begin stand, and lets the next writer in.
  Status Commit();
  // Undoes every change since Begin; quiet, and nothing when none is open.
  void Rollback();

 private:
  Connection* connection_;
  bool open_ = false;  // between a Begin that succeeded and its end
};

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_WRITE_LOCK_H_
