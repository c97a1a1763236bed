#ifndef VERDANPOST_PLATFORM_DATABASE_STATUS_H_
#define VERDANPOST_PLATFORM_DATABASE_STATUS_H_

#include <string>
#include <utility>

namespace verdanpost::database {

// The outcome of a database operation: ok, or an error whose message carries
// the driver's own diagnostic text.
class Status {
 public:
  Status() = default;

  static Status OK() { return Status(); }
  static Status Error(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !failed_; }
  const std::string& message() const { return message_; }

 private:
  explicit Status(std::string message) : failed_(true), message_(std::move(message)) {}

  bool failed_ = false;
  std::string message_;
};

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_STATUS_H_
