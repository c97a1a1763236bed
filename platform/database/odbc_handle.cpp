#include "platform/database/odbc_handle.h"

#include <string>

namespace verdanpost::database {

Status OdbcError(SQLSMALLINT handle_type, SQLHANDLE handle) {
  std::string text;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
    SQLINTEGER native = 0;
    SQLCHAR message[SQL_MAX_MESSAGE_LENGTH] = {};
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRec(handle_type, handle, record, state, &native, message,
                                 sizeof(message), &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
    if (!text.empty()) text += "; ";
    text += reinterpret_cast<const char*>(message);
    text += " (SQLSTATE ";
    text += reinterpret_cast<const char*>(state);
    text += ")";
  }
  if (text.empty()) text = "the ODBC driver reported a failure without a diagnostic";
  return Status::Error(std::move(text));
}

EnvironmentHandle& EnvironmentHandle::operator=(EnvironmentHandle&& other) noexcept {
  if (this != &other) {
    Reset();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

Status EnvironmentHandle::Allocate() {
  Reset();
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle_))) {
    handle_ = nullptr;
    return Status::Error("cannot allocate an ODBC environment");
  }
  SQLRETURN rc =
      SQLSetEnvAttr(handle_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!SQL_SUCCEEDED(rc)) {
    Status status = OdbcError(SQL_HANDLE_ENV, handle_);
    Reset();
    return status;
  }
  return Status::OK();
}

void EnvironmentHandle::Reset() {
  if (handle_ != nullptr) SQLFreeHandle(SQL_HANDLE_ENV, handle_);
  handle_ = nullptr;
}

ConnectionHandle& ConnectionHandle::operator=(ConnectionHandle&& other) noexcept {
  if (this != &other) {
    Reset();
    handle_ = std::exchange(other.handle_, nullptr);
    connected_ = std::exchange(other.connected_, false);
  }
  return *this;
}

Status ConnectionHandle::Allocate(SQLHENV environment) {
  Reset();
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, environment, &handle_))) {
    handle_ = nullptr;
    return OdbcError(SQL_HANDLE_ENV, environment);
  }
  return Status::OK();
}

Status ConnectionHandle::Disconnect() {
  Status status;
  if (handle_ != nullptr && connected_) {
    if (!SQL_SUCCEEDED(SQLDisconnect(handle_))) status = OdbcError(SQL_HANDLE_DBC, handle_);
    connected_ = false;
  }
  Reset();
  return status;
}

void ConnectionHandle::Reset() {
  if (handle_ == nullptr) return;
  if (connected_) SQLDisconnect(handle_);
  connected_ = false;
  SQLFreeHandle(SQL_HANDLE_DBC, handle_);
  handle_ = nullptr;
}

StatementHandle& StatementHandle::operator=(StatementHandle&& other) noexcept {
  if (this != &other) {
    Reset();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

Status StatementHandle::Allocate(SQLHDBC connection) {
  Reset();
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection, &handle_))) {
    handle_ = nullptr;
    return OdbcError(SQL_HANDLE_DBC, connection);
  }
  return Status::OK();
}

void StatementHandle::Reset() {
  if (handle_ != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, handle_);
  handle_ = nullptr;
}

}  // namespace verdanpost::database
