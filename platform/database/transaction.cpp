#include "platform/database/transaction.h"

#include <cstdint>

namespace verdanpost::database {

namespace {

Status SetAutocommit(SQLHDBC dbc, bool on) {
  const SQLRETURN rc = SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT,
                                         reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(
                                             on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
                                         SQL_IS_UINTEGER);
  return SQL_SUCCEEDED(rc) ? Status::OK() : OdbcError(SQL_HANDLE_DBC, dbc);
}

}  // namespace

Transaction::~Transaction() {
  if (active_) Rollback();
}

Status Transaction::Begin() {
  Status status = SetAutocommit(connection_->handle(), false);
  active_ = status.ok();
  return status;
}

Status Transaction::Commit() {
  if (!active_) return Status::Error("no transaction has begun");
  const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, connection_->handle(), SQL_COMMIT);
  return SQL_SUCCEEDED(rc) ? Status::OK() : OdbcError(SQL_HANDLE_DBC, connection_->handle());
}

Status Transaction::Rollback() {
  if (!active_) return Status::OK();
  active_ = false;
  const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, connection_->handle(), SQL_ROLLBACK);
  Status status =
      SQL_SUCCEEDED(rc) ? Status::OK() : OdbcError(SQL_HANDLE_DBC, connection_->handle());
  Status restored = SetAutocommit(connection_->handle(), true);
  return status.ok() ? restored : status;
}

Status Transaction::Finish() {
  Status status = Commit();
  if (!status.ok()) return status;
  active_ = false;
  return SetAutocommit(connection_->handle(), true);
}

}  // namespace verdanpost::database
