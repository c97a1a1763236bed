#include "mailer/smtp/header_builder.h"

#include "mailer/smtp/address_list.h"
#include "mailer/smtp/header_encoding.h"

namespace verdanpost {
namespace {

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

// Bytes an envelope address may not hold anywhere: control characters and
// the angle brackets that end or start the address of a command.
bool IsForbiddenInAddress(unsigned char c) { return c < 0x20 || c == 0x7F || c == '<' || c == '>'; }

// False for an address that holds a control character (NUL included), "<",
// ">", or a blank outside a double-quoted part. A quote that is never closed
// does not quote, as in the address lists.
bool IsValidAddress(std::string_view address) {
  bool quoted = false;
  size_t blank_in_quotes = std::string_view::npos;  // first blank since the open quote
  for (size_t i = 0; i < address.size(); ++i) {
    auto c = static_cast<unsigned char>(address[i]);
    if (IsForbiddenInAddress(c)) return false;
    if (quoted && c == '\\' && i + 1 < address.size()) {
      // An escaped ">" still ends the command's address for a reader that
      // does not know the escape.
      if (IsForbiddenInAddress(static_cast<unsigned char>(address[++i]))) return false;
      // An escaped blank is still a blank when the quote is never closed.
      if (address[i] == ' ' && blank_in_quotes == std::string_view::npos) blank_in_quotes = i;
    } else if (c == '"') {
      quoted = !quoted;
      blank_in_quotes = std::string_view::npos;
    } else if (c == ' ') {
      if (!quoted) return false;
      if (blank_in_quotes == std::string_view::npos) blank_in_quotes = i;
    }
  }
  return !(quoted && blank_in_quotes != std::string_view::npos);
}

}  // namespace

Outcome CheckEnvelopeAddresses(const std::string& sender,
                               const std::vector<std::string>& recipients) {
  bool line_break = HasLineBreak(sender);
  for (const std::string& recipient : recipients)
    line_break = line_break || HasLineBreak(recipient);
  if (line_break) return Outcome::AddressHasLineBreak();
  bool valid = IsValidAddress(sender);
  for (const std::string& recipient : recipients) valid = valid && IsValidAddress(recipient);
  if (!valid) return Outcome::AddressNotValid();
  return Outcome::Fine();
}

Outcome SortRecipients(const std::vector<std::string>& recipients, std::vector<bool>* invalid) {
  invalid->assign(recipients.size(), false);
  bool any_valid = recipients.empty();
  for (size_t i = 0; i < recipients.size(); ++i) {
    if (HasLineBreak(recipients[i])) return Outcome::AddressHasLineBreak();
    (*invalid)[i] = !IsValidAddress(recipients[i]);
    any_valid = any_valid || !(*invalid)[i];
  }
  return any_valid ? Outcome::Fine() : Outcome::AddressNotValid();
}

Outcome CheckArguments(const MessageArguments& args, bool ignore_to,
                       std::vector<std::string>* recipients, std::vector<bool>* invalid,
                       bool per_recipient) {
  recipients->clear();
  if (invalid != nullptr) invalid->clear();
  if (args.from.empty()) return Outcome::FromRequired();
  if (args.to.empty()) return Outcome::ToRequired();
  if (ignore_to && args.cc.empty() && args.bcc.empty()) return Outcome::NoDestinations();
  // A line break anywhere, display names included, would start a header
  // line of the caller's own, or end the header early.
  for (const std::string* list : {&args.from, &args.to, &args.cc, &args.bcc}) {
    if (HasLineBreak(*list)) return Outcome::AddressHasLineBreak();
  }
  if (HasLineBreak(args.subject)) return Outcome::SubjectHasLineBreak();
  // Each argument is one whole list, so the continuation flag means nothing here.
  for (const std::string* list : {ignore_to ? nullptr : &args.to, &args.cc, &args.bcc}) {
    if (list == nullptr) continue;
    std::string consumed = *list;
    SplitAddressList(&consumed, recipients);
  }
  // The whole From value goes to the envelope step, which takes the address
  // out of it; check the address that would go on the wire.
  if (per_recipient && invalid != nullptr) {
    Outcome sender = CheckEnvelopeAddresses(AddressOfEntry(args.from), {});
    return sender.ok() ? SortRecipients(*recipients, invalid) : sender;
  }
  return CheckEnvelopeAddresses(AddressOfEntry(args.from), *recipients);
}

std::string BuildHeader(const MessageArguments& args, TextKind body, const MessageStamp& stamp,
                        BodyEncoding encoding, const std::string& extra_headers) {
  std::string header = AddressField("From", args.from);
  header += AddressField("To", args.to);
  if (!args.cc.empty()) header += AddressField("Cc", args.cc);
  if (!args.subject.empty()) header += SubjectField(args.subject);
  header += "Date: " + stamp.date + "\r\n";
  header += "Message-ID: " + stamp.message_id + "\r\n";
  header += extra_headers;
  bool plain = body == TextKind::kAscii && IsAscii(args.from) && IsAscii(args.to) &&
               IsAscii(args.cc) && IsAscii(args.subject);
  // A body in an unknown character set is left undeclared rather than
  // declared wrongly; encoded words in the header name their own.
  if (encoding == BodyEncoding::kQuotedPrintable) {
    header += body == TextKind::kOther ? "MIME-Version: 1.0\r\n"
                                         "Content-Type: text/plain; charset=unknown-8bit\r\n"
                                       : "MIME-Version: 1.0\r\n"
                                         "Content-Type: text/plain; charset=UTF-8\r\n";
    header += "Content-Transfer-Encoding: quoted-printable\r\n";
  } else if (!plain && body != TextKind::kOther) {
    header +=
        "MIME-Version: 1.0\r\n"
        "Content-Type: text/plain; charset=UTF-8\r\n"
        "Content-Transfer-Encoding: 8bit\r\n";
  }
  header += "\r\n";
  return header;
}

Outcome PrepareMessage(const MessageArguments& args, bool ignore_to, TextKind body,
                       PreparedMessage* prepared) {
  prepared->header.clear();
  Outcome outcome = CheckArguments(args, ignore_to, &prepared->recipients);
  if (outcome.ok()) {
    prepared->header = BuildHeader(args, body, StampNow(AddressOfEntry(args.from)));
  }
  return outcome;
}

}  // namespace verdanpost
