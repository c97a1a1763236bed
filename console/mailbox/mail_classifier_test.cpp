#include "console/mailbox/mail_classifier.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "console/mailbox/mail_samples_test_support.h"

namespace verdanpost::mailbox {
namespace {

using testing_support::ComplaintReport;
using testing_support::DeliveryReport;
using testing_support::PlainMail;

constexpr char kList[] = "list@example.org";
constexpr char kNow[] = "2026-12-08 09:30:00";

class MailClassifierTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Dates are stored in local time; the test's is UTC.
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }

  // Each finding as "address kind code text date".
  static std::vector<std::string> Findings(const Verdict& verdict) {
    std::vector<std::string> lines;
    for (const Finding& f : verdict.findings) {
      lines.push_back(f.address + " " + KindName(f.kind) + " " + f.status_code + " " +
                      f.status_text + " " + f.date);
    }
    return lines;
  }
};

TEST_F(MailClassifierTest, DeliveryReportNamesEachFailedOrDelayedRecipient) {
  Verdict verdict =
      ClassifyMail(DeliveryReport("Original-Recipient: rfc822;Ann@Example.org\r\n"
                                  "Final-Recipient: rfc822; ann.lee@mx.example.net\r\n"
                                  "Action: failed\r\n"
                                  "Status: 5.1.1 (mailbox unknown)\r\n"
                                  "Diagnostic-Code: smtp; 550 5.1.1 <ann.lee@mx.example.net>:\r\n"
                                  " Recipient address rejected: User unknown\r\n"
                                  "\r\n"
                                  "Final-Recipient: rfc822; bob@example.net\r\n"
                                  "Action: delayed\r\n"
                                  "Status: 4.4.7\r\n"
                                  "\r\n"
                                  "Final-Recipient: rfc822; cleo@example.net\r\n"
                                  "Action: delivered\r\n"
                                  "Status: 2.0.0\r\n"
                                  "\r\n"
                                  "Final-Recipient: RFC822;\r\n"
                                  "  <dora@example.net>\r\n"
                                  "Action: FAILED\r\n"
                                  "Status: 4.2.2\r\n"),
                   kList, kNow);
  EXPECT_EQ(verdict.kind, MailKind::kBounce);
  EXPECT_EQ(Findings(verdict),
            (std::vector<std::string>{
                "Ann@Example.org hard 5.1.1 550 5.1.1 <ann.lee@mx.example.net>: Recipient address "
                "rejected: User unknown 2026-12-07 11:00:00",
                "bob@example.net soft 4.4.7  2026-12-07 11:00:00",
                "dora@example.net soft 4.2.2  2026-12-07 11:00:00"}));
}

TEST_F(MailClassifierTest, ReportsWithoutAStandardRecipientAreNotUnderstood) {
  auto kind_of = [](const std::string& message) { return ClassifyMail(message, kList, kNow).kind; };
  // Another type of address, no Status, and nothing that failed.
  EXPECT_EQ(kind_of(DeliveryReport("Final-Recipient: x400; /G=Ann/S=Lee/\r\n"
                                   "Action: failed\r\nStatus: 5.0.0\r\n")),
            MailKind::kNotUnderstood);
  EXPECT_EQ(kind_of(DeliveryReport("Final-Recipient: rfc822; ann@example.net\r\n"
                                   "Action: failed\r\n")),
            MailKind::kNotUnderstood);
  EXPECT_EQ(kind_of(DeliveryReport("Final-Recipient: rfc822; ann@example.net\r\n"
                                   "Action: relayed\r\nStatus: 2.0.0\r\n")),
            MailKind::kNotUnderstood);
  EXPECT_EQ(kind_of(DeliveryReport("")), MailKind::kNotUnderstood);
  // A complaint that does not say who complained.
  EXPECT_EQ(kind_of(ComplaintReport("")), MailKind::kNotUnderstood);
  // A report of another kind.
  std::string receipt = ComplaintReport("ann@example.net");
  receipt.replace(receipt.find("feedback-report;"), 16, "disposition-notification;");
  EXPECT_EQ(kind_of(receipt), MailKind::kNotUnderstood);
  // A bounce in words only, to the empty reverse path.
  EXPECT_EQ(kind_of("Return-Path: <>\r\n" +
                    PlainMail("MAILER-DAEMON@example.net", kList, "failure notice",
                              "Sorry, ann@example.net does not exist.\r\n")),
            MailKind::kNotUnderstood);
  EXPECT_EQ(kind_of("this is not a message at all"), MailKind::kPlain);
}

TEST_F(MailClassifierTest, ComplaintNamesTheRecipientWhoComplained) {
  Verdict verdict = ClassifyMail(ComplaintReport("carl@example.org"), kList, kNow);
  EXPECT_EQ(verdict.kind, MailKind::kComplaint);
  EXPECT_EQ(Findings(verdict),
            (std::vector<std::string>{"carl@example.org complaint abuse  2026-12-07 10:00:00"}));
}

TEST_F(MailClassifierTest, UnsubscribeRequestIsTheWordAloneToTheListAddress) {
  auto from_of = [](const std::string& message) {
    Verdict verdict = ClassifyMail(message, kList, kNow);
    return verdict.kind == MailKind::kUnsubscribe ? verdict.findings[0].address : "plain";
  };
  EXPECT_EQ(from_of(PlainMail("Ann <ann@example.org>", "List <LIST@Example.org>", "  UnSubscribe ",
                              "bye\r\n")),
            "ann@example.org");
  EXPECT_EQ(from_of(PlainMail("bob@example.org", "owner@example.org, list@example.org", "Hi",
                              "\r\n\r\n unsubscribe\r\nthanks\r\n")),
            "bob@example.org");
  // In a Cc, and as the first line of the plain text of an alternative, in
  // quoted-printable.
  EXPECT_EQ(from_of("From: cleo@example.org\r\nTo: owner@example.org\r\nCc: list@example.org\r\n"
                    "Subject: =?utf-8?q?Bitte?=\r\nMIME-Version: 1.0\r\n"
                    "Content-Type: multipart/alternative; boundary=x\r\n\r\n--x\r\n"
                    "Content-Type: text/plain; charset=utf-8\r\n"
                    "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
                    "=75nsubscribe\r\n--x\r\nContent-Type: text/html\r\n\r\n<p>unsubscribe</p>\r\n"
                    "--x--\r\n"),
            "cleo@example.org");
  EXPECT_EQ(from_of(PlainMail("ann@example.org", "owner@example.org", "unsubscribe", "\r\n")),
            "plain");
  EXPECT_EQ(from_of(PlainMail("ann@example.org", kList, "unsubscribe me", "please\r\n")), "plain");
  EXPECT_EQ(from_of(PlainMail("ann@example.org", kList, "Hi", "I will unsubscribe\r\n")), "plain");
  // Without a list address nothing is a request to it.
  EXPECT_EQ(ClassifyMail(PlainMail("ann@example.org", kList, "unsubscribe", ""), "", kNow).kind,
            MailKind::kPlain);
  // A message without a Date is dated when it is read.
  Verdict undated = ClassifyMail(
      "From: ann@example.org\r\nTo: list@example.org\r\n"
      "Subject: unsubscribe\r\n\r\n",
      kList, kNow);
  ASSERT_EQ(undated.findings.size(), 1u);
  EXPECT_EQ(undated.findings[0].date, kNow);
}

}  // namespace
}  // namespace verdanpost::mailbox
