#ifndef VERDANPOST_MAILER_SMTP_HEADER_BUILDER_H_
#define VERDANPOST_MAILER_SMTP_HEADER_BUILDER_H_

#include <string>
#include <vector>

#include "mailer/smtp/outcome.h"

namespace verdanpost {

// The arguments of SendMessage and SendMessageFromFile that shape a message.
struct MessageArguments {
  std::string from;
  std::string to;
  std::string cc;
  std::string bcc;
  std::string subject;
};

// What a send call needs before it connects.
struct PreparedMessage {
  std::string header;  // ends with the empty line
  std::vector<std::string> recipients;
};

// Builds the header and the recipient list from the arguments, or refuses
// the call (FromRequired, ToRequired, NoDestinations, AddressHasLineBreak).
Outcome BuildHeader(const MessageArguments& args, bool ignore_to, PreparedMessage* prepared);

// Refuses (AddressHasLineBreak) a sender or recipient that holds a CR or LF, which would
// end the SMTP command early and smuggle in another.
Outcome CheckEnvelopeAddresses(const std::string& sender,
                               const std::vector<std::string>& recipients);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_HEADER_BUILDER_H_
