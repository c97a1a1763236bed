#include "mailer/mailer.h"

namespace verdanpost {

Mailer::Mailer() : server_name_("mailhost") {}

void Mailer::SendMessage(const std::string&, const std::string&, const std::string&,
                         const std::string&, const std::string&, const std::string&) {
  SetError("Could not connect to server", 6);
}

void Mailer::SendMessageFromFile(const std::string&, const std::string&, const std::string&,
                                 const std::string&, const std::string&, const std::string&) {
  SetError("Could not connect to server", 6);
}

void Mailer::SendRawMessageFromFile(const std::string&) {
  SetError("Could not connect to server", 6);
}

void Mailer::SendRawMessage(const std::string&) {
  SetError("SendRawMessage not implemented in this beta", 25);
}

void Mailer::SetError(const std::string& message, int32_t code) {
  error_message_ = message;
  error_code_ = code;
}

}  // namespace verdanpost
