#include "platform/database/odbc_handle.h"

#include <string>

namespace verdanpost::database {

namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// SQLite's primary result codes, which its driver gives as the native error.
enum SQLiteCode : SQLINTEGER {
  kSQLiteError = 1,
  kSQLitePerm = 3,
  kSQLiteBusy = 5,
  kSQLiteLocked = 6,
  kSQLiteReadOnly = 8,
  kSQLiteInterrupt = 9,
  kSQLiteIOError = 10,
  kSQLiteCorrupt = 11,
  kSQLiteFull = 13,
  kSQLiteCantOpen = 14,
  kSQLiteConstraint = 19,
  kSQLiteNotADatabase = 26,
};

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// SQLite's result code, which its driver gives as the native error of a
// record in the general class HY000 (its messages start "[SQLite]").
Status::Code SQLiteCodeOf(SQLINTEGER native) {
  using Code = Status::Code;
  switch (native) {
    case kSQLiteBusy:
    case kSQLiteLocked:
      return Code::kBusy;
    case kSQLiteConstraint:
      return Code::kConstraint;
    case kSQLiteIOError:
    case kSQLiteCorrupt:
    case kSQLiteFull:
    case kSQLiteCantOpen:
    case kSQLiteNotADatabase:
    case kSQLitePerm:
    case kSQLiteReadOnly:
      return Code::kIOError;
    case kSQLiteInterrupt:
      return Code::kTimedOut;
    case kSQLiteError:
      return Code::kInvalid;  // an SQL error (its missing tables are told above)
    default:
      return Code::kOther;
  }
}

// The kind of one diagnostic record: its SQLSTATE where it tells one (the
// class, its first two characters, where the standard fixes one); then
// what drivers leave in the general class HY000, or in a state that does
// not fit (the PostgreSQL driver's catalog gives 07009 for a missing
// table): SQLite's result code, and the words of a missing object.
Status::Code CodeOf(const std::string& state, SQLINTEGER native, const std::string& message) {
  using Code = Status::Code;
  // Time-outs: the driver's own, and the server's statement time-out.
  if (state == "HYT00" || state == "HYT01" || state == "HY008" || state == "57014" ||
      Contains(message, "timeout expired")) {
    return Code::kTimedOut;
  }
  // Missing tables, columns and data sources.
  if (state == "42S02" || state == "42S22" || state == "42P01" || state == "42703" ||
      state == "IM002" || state == "3D000" || Contains(message, "no such table") ||
      Contains(message, "no such column") || Contains(message, "no column named") ||
      Contains(message, "does not exist")) {
    return Code::kNotFound;
  }
  // Locks: PostgreSQL's lock not available, deadlock and serialization.
  if (state == "55P03" || state == "40001" || state == "40P01") return Code::kBusy;
  if (StartsWith(state, "23")) return Code::kConstraint;
  // Connection exceptions, the server going away, disk and resources.
  if (StartsWith(state, "08") || StartsWith(state, "53") || StartsWith(state, "57") ||
      StartsWith(state, "58") || state == "HY001" || state == "S1001") {
    return Code::kIOError;
  }
  if (state == "HY000" || state == "S1000") {
    if (StartsWith(message, "[SQLite]")) return SQLiteCodeOf(native);
    return Code::kOther;
  }
  // Syntax, access rules, data and the other refusals of a statement.
  if (StartsWith(state, "42") || StartsWith(state, "22") || StartsWith(state, "07") ||
      StartsWith(state, "HY") || StartsWith(state, "S1") || StartsWith(state, "IM") ||
      StartsWith(state, "01")) {
    return Code::kInvalid;
  }
  return Code::kOther;
}

}  // namespace

Status OdbcError(SQLSMALLINT handle_type, SQLHANDLE handle) {
  std::string text;
  Status::Code code = Status::Code::kOther;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
    SQLINTEGER native = 0;
    SQLCHAR message[SQL_MAX_MESSAGE_LENGTH] = {};
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRec(handle_type, handle, record, state, &native, message,
                                 sizeof(message), &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
    const std::string state_text = reinterpret_cast<const char*>(state);
    const std::string message_text = reinterpret_cast<const char*>(message);
    // The first record that names a kind tells it; a later one may only
    // add detail ("the statement has been rolled back").
    if (code == Status::Code::kOther) code = CodeOf(state_text, native, message_text);
    if (!text.empty()) text += "; ";
    text += message_text;
    text += " (SQLSTATE ";
    text += state_text;
    text += ")";
  }
  if (text.empty()) text = "the ODBC driver reported a failure without a diagnostic";
  return Status::WithCode(code, std::move(text));
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
