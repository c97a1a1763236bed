#ifndef VERDANPOST_PLATFORM_DATABASE_STATUS_H_
#define VERDANPOST_PLATFORM_DATABASE_STATUS_H_

#include <string>
#include <utility>

namespace verdanpost::database {

// The outcome of a database operation: ok, or an error with a code that
// tells what kind of failure it is and a message that carries the driver's
// own diagnostic text. Every code has its factory here; OdbcError
// (odbc_handle.h) is the one place that maps a driver's diagnostics to a
// code.
class Status {
 public:
  enum class Code {
    kOk,
    // A table, column, row or data source that is not there.
    kNotFound,
    // The database is locked or busy with another connection's work.
    kBusy,
    // A write the database refused because it breaks a constraint (a
    // unique index, a column that takes no null).
    kConstraint,
    // The database, its file or its server cannot be reached, read or
    // written (also a disk that is full).
    kIOError,
    // A statement, value or call that the database or this layer refuses.
    kInvalid,
    // The database did not answer within the connection's time limit.
    kTimedOut,
    // The wait for the database was cancelled (Connection::Cancel).
    kCancelled,
    // A failure that none of the codes above names.
    kOther,
  };

  Status() = default;

  static Status OK() { return Status(); }
  static Status NotFound(std::string message) { return {Code::kNotFound, std::move(message)}; }
  static Status Busy(std::string message) { return {Code::kBusy, std::move(message)}; }
  static Status Constraint(std::string message) { return {Code::kConstraint, std::move(message)}; }
  static Status IOError(std::string message) { return {Code::kIOError, std::move(message)}; }
  static Status Invalid(std::string message) { return {Code::kInvalid, std::move(message)}; }
  static Status TimedOut(std::string message) { return {Code::kTimedOut, std::move(message)}; }
  static Status Cancelled(std::string message) { return {Code::kCancelled, std::move(message)}; }
  static Status Error(std::string message) { return {Code::kOther, std::move(message)}; }
  // A failure of |code| (not kOk) with |message|.
  static Status WithCode(Code code, std::string message) {
    return {code == Code::kOk ? Code::kOther : code, std::move(message)};
  }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  bool IsNotFound() const { return code_ == Code::kNotFound; }
  bool IsBusy() const { return code_ == Code::kBusy; }
  bool IsConstraint() const { return code_ == Code::kConstraint; }
  bool IsIOError() const { return code_ == Code::kIOError; }
  bool IsInvalid() const { return code_ == Code::kInvalid; }
  bool IsTimedOut() const { return code_ == Code::kTimedOut; }
  bool IsCancelled() const { return code_ == Code::kCancelled; }
  const std::string& message() const { return message_; }

 private:
  Status(Code code, std::string message) : code_(code), message_(std::move(message)) {}

  Code code_ = Code::kOk;
  std::string message_;
};

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_STATUS_H_
