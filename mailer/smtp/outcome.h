#ifndef VERDANPOST_MAILER_SMTP_OUTCOME_H_
#define VERDANPOST_MAILER_SMTP_OUTCOME_H_

#include <cstdint>
#include <string>
#include <utility>

namespace verdanpost {

// The commands of a transaction whose failure ends a send call; each names
// its own ErrorCode for a command that could not be sent and its own
// ErrorMessage for a reply the server refused with.
enum class SmtpCommand {
  kHelo,
  kMailFrom,
  kRcptTo,
  kData,
  kEndOfData,
  kQuit,
  // Only when the server's settings ask for EHLO, TLS or a login.
  kEhlo,
  kStartTls,
  kAuth,
};

// The result of one step of a send call: either the step went well, or the
// ErrorCode and ErrorMessage that end the call. Failure is a flag of its own
// rather than "code not 0", so that no code a server might send can read as
// success by accident. Every outcome has its factory here, and its
// ErrorMessage text is written only here. An outcome may also carry the
// server's reply that decided it, or, for a failure that no reply decided,
// the system's reason in words.
class Outcome {
 public:
  // The ErrorCode values the mailer sets itself. A reply the server refused
  // with gives the reply's code instead (ServerRefused, BadGreeting).
  enum class Code : int32_t {
    kNoCallYet = -1,
    kSent = 0,
    kNoHeader = 1,
    kMailFromNotSent = 2,
    kRcptToNotSent = 3,
    kCannotOpenFile = 4,
    kConnectionWouldBlock = 5,
    kCannotConnect = 6,
    kHeloNotSent = 7,
    kDataNotSent = 8,
    kContentNotWritten = 10,
    kEndOfDataNotWritten = 11,
    kQuitNotSent = 12,
    kRawMessageNotImplemented = 25,
    kFromRequired = 50,
    kToRequired = 51,
    kAddressHasLineBreak = 52,
    kSubjectHasLineBreak = 53,
    kAddressNotValid = 54,
    kNoDestinations = 55,
    kNoSecureConnection = 56,
    kCannotAuthenticate = 57,
    kInvalidSettings = 58,
    kMessageTooLarge = 59,
    kExtraHeadersNotValid = 60,
  };

  // A step that went well; the call goes on.
  static Outcome Fine() { return Outcome(); }
  // The ErrorCode and ErrorMessage of an object that has not sent yet.
  static Outcome NoCallYet() { return Outcome(true, Code::kNoCallYet, ""); }
  // A whole transaction that went well.
  static Outcome Sent() { return Outcome(false, Code::kSent, "Message sent"); }

  static Outcome NoHeader() { return Failure(Code::kNoHeader, "Message does not have a header"); }
  // Also a file that fails while it is read, and a name holding a NUL.
  static Outcome CannotOpenFile() { return Failure(Code::kCannotOpenFile, "Cannot open file"); }
  static Outcome ConnectionWouldBlock() {
    return Failure(Code::kConnectionWouldBlock, "Connection would block");
  }
  static Outcome CannotConnect() {
    return Failure(Code::kCannotConnect, "Could not connect to server");
  }
  static Outcome ContentNotWritten() {
    return Failure(Code::kContentNotWritten, "Could not write message to the server");
  }
  static Outcome RawMessageNotImplemented() {
    return Failure(Code::kRawMessageNotImplemented, "SendRawMessage not implemented in this beta");
  }
  static Outcome FromRequired() { return Failure(Code::kFromRequired, "From parameter required"); }
  static Outcome ToRequired() { return Failure(Code::kToRequired, "To parameter required"); }
  static Outcome AddressHasLineBreak() {
    return Failure(Code::kAddressHasLineBreak, "Address contains a line break");
  }
  static Outcome SubjectHasLineBreak() {
    return Failure(Code::kSubjectHasLineBreak, "Subject contains a line break");
  }
  static Outcome AddressNotValid() {
    return Failure(Code::kAddressNotValid, "Address is not valid");
  }
  static Outcome NoDestinations() {
    return Failure(Code::kNoDestinations, "To is ignored, and no other destinations given");
  }

  // `why` finishes the sentence for an operator: what to check or change.
  static Outcome NoSecureConnection(const std::string& why) {
    return Failure(Code::kNoSecureConnection, "Could not start a secure connection: " + why);
  }
  static Outcome CannotAuthenticate(const std::string& why) {
    return Failure(Code::kCannotAuthenticate, "Could not authenticate: " + why);
  }
  static Outcome InvalidSettings(const std::string& why) {
    return Failure(Code::kInvalidSettings, "Server settings are not valid: " + why);
  }

  // The server declared a SIZE limit below the message's `size` in bytes.
  static Outcome MessageTooLarge(uint64_t size, uint64_t limit);
  // The ExtraHeaders property holds what may not go into a header; `why`
  // names the first fault.
  static Outcome ExtraHeadersNotValid(const std::string& why) {
    return Failure(Code::kExtraHeadersNotValid, "Extra header lines are not valid: " + why);
  }

  // The opening reply was not 220; `reply_code` is what ReadReply gave.
  static Outcome BadGreeting(int32_t reply_code);
  // `command` could not be written to the connection.
  static Outcome NotSent(SmtpCommand command);
  // The reply to `command` was not the one that lets the call go on.
  static Outcome ServerRefused(SmtpCommand command, int32_t reply_code);

  // The same outcome with the server's whole reply that decided it (its
  // lines joined by "\n", line ends left out).
  Outcome WithReply(std::string reply) && {
    server_reply_ = std::move(reply);
    return std::move(*this);
  }
  // The same outcome with the system's reason for a failure that no reply
  // decided ("Connection refused", "timed out").
  Outcome WithReason(std::string reason) && {
    failure_reason_ = std::move(reason);
    return std::move(*this);
  }

  bool ok() const { return !failed_; }
  int32_t code() const { return code_; }
  const std::string& message() const { return message_; }
  const std::string& server_reply() const { return server_reply_; }
  const std::string& failure_reason() const { return failure_reason_; }

 private:
  Outcome() = default;
  Outcome(bool failed, int32_t code, std::string message)
      : failed_(failed), code_(code), message_(std::move(message)) {}
  Outcome(bool failed, Code code, std::string message)
      : Outcome(failed, static_cast<int32_t>(code), std::move(message)) {}
  static Outcome Failure(Code code, std::string message) {
    return Outcome(true, code, std::move(message));
  }

  bool failed_ = false;
  int32_t code_ = 0;
  std::string message_;
  std::string server_reply_;    // "" when no reply decided the outcome
  std::string failure_reason_;  // "" unless a failure without a reply
};

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_OUTCOME_H_
