#ifndef VERDANPOST_CONSOLE_MAILBOX_MAIL_CLASSIFIER_H_
#define VERDANPOST_CONSOLE_MAILBOX_MAIL_CLASSIFIER_H_

#include <string>
#include <string_view>
#include <vector>

#include "console/mailbox/list_mail.h"

namespace verdanpost::mailbox {

// What one message of the list's mailbox is.
enum class MailKind {
  kPlain,          // none of the others; nothing to do
  kBounce,         // a delivery status notification naming failed recipients
  kComplaint,      // a feedback report naming the complaining recipient
  kUnsubscribe,    // "unsubscribe" to the list address; findings[0] is the sender
  kNotUnderstood,  // a report that names no failed recipient in a standard form
};

struct Verdict {
  MailKind kind = MailKind::kPlain;
  // The bounced recipients, the complainer or the sender asking to leave;
  // dated, with uid and folder left for the caller.
  std::vector<Finding> findings;
};

// Reads the message `bytes` (MIME, parsed with GMime) and tells what it is.
// A delivery report (multipart/report; report-type=delivery-status) yields
// one finding per recipient whose Action is failed or delayed: hard for a
// Status 5.x.x, soft for 4.x.x, the Original-Recipient when it is an rfc822
// address, else the Final-Recipient. A feedback report yields its
// Original-Rcpt-To. Any other report, a delivery report without such a
// recipient, and a message with an empty Return-Path that is no report are
// not understood. A message whose To or Cc holds `list_address` and whose
// subject or first body line is "unsubscribe" (any case, blanks around) is
// an unsubscribe request from its From address. Dates are the message's
// Date in local time, or `now` when it has none.
Verdict ClassifyMail(std::string_view bytes, const std::string& list_address,
                     const std::string& now);

}  // namespace verdanpost::mailbox

#endif  // VERDANPOST_CONSOLE_MAILBOX_MAIL_CLASSIFIER_H_
