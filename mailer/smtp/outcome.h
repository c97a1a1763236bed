#ifndef VERDANPOST_MAILER_SMTP_OUTCOME_H_
#define VERDANPOST_MAILER_SMTP_OUTCOME_H_

#include <cstdint>
#include <string>
#include <utility>

namespace verdanpost {

// The result of one step of a send call: either the step went well, or the
// ErrorCode and ErrorMessage that end the call. A failure may carry code 0
// (a reply without digits), so failure is a flag of its own.
class Outcome {
 public:
  static Outcome Fine() { return Outcome(); }
  // The outcome of a whole transaction that went well.
  static Outcome Sent() { return Outcome(false, 0, "Message sent"); }
  static Outcome Failure(int32_t code, std::string message) {
    return Outcome(true, code, std::move(message));
  }

  bool ok() const { return !failed_; }
  int32_t code() const { return code_; }
  const std::string& message() const { return message_; }

 private:
  Outcome() = default;
  Outcome(bool failed, int32_t code, std::string message)
      : failed_(failed), code_(code), message_(std::move(message)) {}

  bool failed_ = false;
  int32_t code_ = 0;
  std::string message_;
};

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_OUTCOME_H_
