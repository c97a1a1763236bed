#include "mailer/smtp/header_builder.h"

#include "mailer/smtp/address_list.h"

namespace verdanpost {
namespace {

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

Outcome CheckEnvelopeAddresses(const std::string& sender,
                               const std::vector<std::string>& recipients) {
  bool bad = HasLineBreak(sender);
  for (const std::string& recipient : recipients) bad = bad || HasLineBreak(recipient);
  if (bad) return Outcome::AddressHasLineBreak();
  return Outcome::Fine();
}

Outcome BuildHeader(const MessageArguments& args, bool ignore_to, PreparedMessage* prepared) {
  prepared->header.clear();
  prepared->recipients.clear();
  if (args.from.empty()) return Outcome::FromRequired();
  std::string& header = prepared->header;
  header = "From: " + args.from + "\r\n";
  if (args.to.empty()) return Outcome::ToRequired();
  header += "To: " + args.to + "\r\n";
  if (!args.cc.empty()) header += "Cc: " + args.cc + "\r\n";
  if (!args.subject.empty()) header += "Subject: " + args.subject + "\r\n";
  header += "\r\n";
  if (ignore_to && args.cc.empty() && args.bcc.empty()) {
    return Outcome::NoDestinations();
  }
  // Each argument is one whole list, so the continuation flag means nothing here.
  for (const std::string* list : {ignore_to ? nullptr : &args.to, &args.cc, &args.bcc}) {
    if (list == nullptr) continue;
    std::string consumed = *list;
    SplitAddressList(&consumed, &prepared->recipients);
  }
  // The whole From value goes to the envelope step, which takes the address
  // out of it; check the address that would go on the wire.
  return CheckEnvelopeAddresses(AddressOfEntry(args.from), prepared->recipients);
}

}  // namespace verdanpost
