#ifndef VERDANPOST_CONSOLE_MAILBOX_MAIL_SAMPLES_TEST_SUPPORT_H_
#define VERDANPOST_CONSOLE_MAILBOX_MAIL_SAMPLES_TEST_SUPPORT_H_

// Messages that the list's mailbox receives, written as their senders
// write them, for the tests of the classifier and of the whole check.

#include <string>

namespace verdanpost::testing_support {

// A feedback report (complaint) about mail to `complainer`, with
// "Original-Rcpt-To" left out when `complainer` is empty.
inline std::string ComplaintReport(const std::string& complainer) {
  std::string rcpt = complainer.empty() ? "" : "Original-Rcpt-To: <" + complainer + ">\r\n";
  return "From: feedback@isp.example\r\n"
         "To: list@example.org\r\n"
         "Subject: Abuse report\r\n"
         "Date: Mon, 07 Dec 2026 10:00:00 +0000\r\n"
         "Message-ID: <fbl-1@isp.example>\r\n"
         "MIME-Version: 1.0\r\n"
         "Content-Type: multipart/report; report-type=feedback-report;\r\n"
         "\tboundary=\"part\"\r\n"
         "\r\n"
         "--part\r\n"
         "Content-Type: text/plain; charset=us-ascii\r\n"
         "\r\n"
         "This is an abuse report for a message received from your list.\r\n"
         "--part\r\n"
         "Content-Type: message/feedback-report\r\n"
         "\r\n"
         "Feedback-Type: abuse\r\n"
         "User-Agent: ReportMaker/1.0\r\n"
         "Version: 1\r\n"
         "Original-Mail-From: <list@example.org>\r\n" +
         rcpt +
         "Arrival-Date: Mon, 07 Dec 2026 09:00:00 +0000\r\n"
         "\r\n"
         "--part\r\n"
         "Content-Type: text/rfc822-headers\r\n"
         "\r\n"
         "From: list@example.org\r\n"
         "To: list@example.org\r\n"
         "Subject: News of the week\r\n"
         "\r\n"
         "--part--\r\n";
}

// A delivery report with the recipient groups `recipients` (fields, CR LF
// line ends, one group after another separated by an empty line).
inline std::string DeliveryReport(const std::string& recipients) {
  return "From: MAILER-DAEMON@mx.example.net (Mail Delivery System)\r\n"
         "To: list@example.org\r\n"
         "Subject: Undelivered Mail Returned to Sender\r\n"
         "Date: Mon, 07 Dec 2026 11:00:00 +0000\r\n"
         "MIME-Version: 1.0\r\n"
         "Content-Type: multipart/report; report-type=delivery-status; boundary=\"b\"\r\n"
         "\r\n"
         "--b\r\n"
         "Content-Type: text/plain\r\n"
         "\r\n"
         "I'm sorry to have to inform you that your message could not be delivered.\r\n"
         "--b\r\n"
         "Content-Type: message/delivery-status\r\n"
         "\r\n"
         "Reporting-MTA: dns; mx.example.net\r\n"
         "Arrival-Date: Mon, 07 Dec 2026 10:59:00 +0000\r\n"
         "\r\n" +
         recipients +
         "\r\n"
         "--b\r\n"
         "Content-Type: message/rfc822\r\n"
         "\r\n"
         "From: list@example.org\r\n"
         "Subject: News\r\n"
         "\r\n"
         "Hello\r\n"
         "--b--\r\n";
}

// A message from `from` to `to` with `subject` and the text `body`.
inline std::string PlainMail(const std::string& from, const std::string& to,
                             const std::string& subject, const std::string& body) {
  return "From: " + from + "\r\nTo: " + to + "\r\nSubject: " + subject +
         "\r\nDate: Mon, 07 Dec 2026 12:00:00 +0000\r\nMIME-Version: 1.0\r\n"
         "Content-Type: text/plain; charset=utf-8\r\n\r\n" +
         body;
}

}  // namespace verdanpost::testing_support

#endif  // VERDANPOST_CONSOLE_MAILBOX_MAIL_SAMPLES_TEST_SUPPORT_H_
