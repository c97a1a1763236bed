#ifndef VERDANPOST_PLATFORM_DATABASE_TRANSACTION_H_
#define VERDANPOST_PLATFORM_DATABASE_TRANSACTION_H_

#include "platform/database/connection.h"
#include "platform/database/status.h"

namespace verdanpost::database {

// Groups the writes on one connection into transactions: from Begin() on,
// nothing written reaches other connections until Commit(). The destructor
// rolls back what was not committed and turns automatic commits on again.
// The Connection must outlive it.
class Transaction {
 public:
  explicit Transaction(Connection* connection) : connection_(connection) {}
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  ~Transaction();

  Status Begin();
  // Makes the writes since Begin() or the last Commit() lasting; the next
  // writes start a new transaction.
  Status Commit();
  // Drops the writes since then, and ends the grouping.
  Status Rollback();
  // Commits and turns automatic commits on again.
  Status Finish();

 private:
  Connection* connection_;
  bool active_ = false;
};

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_TRANSACTION_H_
