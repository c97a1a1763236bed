#include "platform/database/write_lock.h"

#include <vector>

#include "platform/database/query.h"

namespace verdanpost::database {

Status WriteLock::Begin(const std::string& table, int wait_seconds) {
  if (open_) return Status::Error("the write lock is already held");
  const std::vector<std::string> statements =
      connection_->dialect().BeginWriteLock(connection_->Quote(table), wait_seconds);
  if (statements.empty()) {
    return Status::Error("no write lock is known for " + connection_->dbms_name());
  }
  for (const std::string& sql : statements) {
    if (Status status = ExecuteChange(*connection_, sql, {}, nullptr); !status.ok()) {
      Rollback();
      return status;
    }
    // From BEGIN on, a failure must end the transaction it opened.
    open_ = open_ || sql.starts_with("BEGIN");
    connection_->set_in_statement_transaction(open_);
  }
  return Status::OK();
}

Status WriteLock::Commit() {
  if (!open_) return Status::Error("the write lock is not held");
  Status status = ExecuteChange(*connection_, "COMMIT", {}, nullptr);
  if (status.ok()) {
    open_ = false;
    connection_->set_in_statement_transaction(false);
  } else {
    Rollback();
  }
  return status;
}

void WriteLock::Rollback() {
  if (!open_ || !connection_->is_open()) return;
  open_ = false;
  ExecuteChange(*connection_, "ROLLBACK", {}, nullptr);
  connection_->set_in_statement_transaction(false);
}

}  // namespace verdanpost::database
