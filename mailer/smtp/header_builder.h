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
// With `per_recipient`, a recipient address that is not valid does not
// refuse the call: it is marked in `*invalid` (one flag per recipient), and
// only a call whose every recipient is marked is refused (AddressNotValid).
Outcome CheckArguments(const MessageArguments& args, bool ignore_to,
                       std::vector<std::string>* recipients, std::vector<bool>* invalid = nullptr,
                       bool per_recipient = false);

// Marks in `*invalid` each of `recipients` that CheckEnvelopeAddresses
// would refuse as not valid; AddressHasLineBreak when one holds a line
// break, AddressNotValid when every one is marked.
Outcome SortRecipients(const std::vector<std::string>& recipients, std::vector<bool>* invalid);

// How a body goes on the wire.
enum class BodyEncoding {
  kAsIs,             // its bytes as they stand
  kQuotedPrintable,  // see QuotedPrintableEncoder
};

// The header of checked arguments: From, To, Cc (when not empty), Subject
// (when not empty), Date, Message-ID, and, when a header text or the body
// (of kind `body`) goes beyond ASCII and the body is ASCII or UTF-8, the
// three fields that declare UTF-8 text; then the empty line. A body that
// goes quoted-printable always gets the three fields, with that encoding
// (and the character set "unknown-8bit" when the body is not UTF-8).
// `extra_headers` (checked by CheckExtraHeaders) follow Message-ID.
std::string BuildHeader(const MessageArguments& args, TextKind body, const MessageStamp& stamp,
                        BodyEncoding encoding = BodyEncoding::kAsIs,
                        const std::string& extra_headers = {});

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
