#ifndef VERDANPOST_MAILER_SMTP_HEADER_BUILDER_H_
#define VERDANPOST_MAILER_SMTP_HEADER_BUILDER_H_

#include <string>
#include <vector>

#include "mailer/smtp/message_stamp.h"
#include "mailer/smtp/outcome.h"
#include "mailer/smtp/text_kind.h"

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

// Checks the arguments and fills `*recipients`, or refuses the call. The
// checks run in this order, so a call the older rules refused keeps its
// code: FromRequired, ToRequired, NoDestinations, then AddressHasLineBreak
// (CR or LF anywhere in From, To, Cc or Bcc), SubjectHasLineBreak, and
// AddressNotValid for the sender's or a recipient's address.
Outcome CheckArguments(const MessageArguments& args, bool ignore_to,
                       std::vector<std::string>* recipients);

// The header of checked arguments: From, To, Cc (when not empty), Subject
// (when not empty), Date, Message-ID, and, when a header text or the body
// (of kind `body`) goes beyond ASCII and the body is ASCII or UTF-8, the
// three fields that declare UTF-8 text; then the empty line.
std::string BuildHeader(const MessageArguments& args, TextKind body, const MessageStamp& stamp);

// CheckArguments, then BuildHeader stamped now.
Outcome PrepareMessage(const MessageArguments& args, bool ignore_to, TextKind body,
                       PreparedMessage* prepared);

// Refuses a sender or recipient address (as it goes on the wire) that holds
// a CR or LF (AddressHasLineBreak), or a control character, "<", ">" or a
// blank outside double quotes (AddressNotValid): any of them would end the
// command early or add a parameter to it.
Outcome CheckEnvelopeAddresses(const std::string& sender,
                               const std::vector<std::string>& recipients);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_HEADER_BUILDER_H_
