#include "mailer/smtp/header_builder.h"

#include <gtest/gtest.h>

#include <sstream>

#include "testing/message_stamp_mask.h"

namespace verdanpost {
namespace {

using List = std::vector<std::string>;
using testing_support::MaskStamp;

const MessageStamp kStamp = {"Mon, 07 Dec 2026 15:20:03 +0100", "<1.2.3@x.org>"};
const std::string kStampLines =
    "Date: Mon, 07 Dec 2026 15:20:03 +0100\r\nMessage-ID: <1.2.3@x.org>\r\n";
const std::string kUtf8Fields =
    "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
    "Content-Transfer-Encoding: 8bit\r\n";

// The longest line of `header`, without its CR LF.
size_t LongestLine(const std::string& header) {
  size_t longest = 0;
  std::istringstream lines(header);
  for (std::string line; std::getline(lines, line);) longest = std::max(longest, line.size() - 1);
  return longest;
}

TEST(BuildHeaderTest, HeaderAndRecipients) {
  PreparedMessage prepared;
  {
    MessageArguments args{"\"Ann\" <ann@x.org>", "Bob <bob@x.org>", "c@x.org", "d@x.org, e@x.org",
                          "Hi"};
    ASSERT_TRUE(PrepareMessage(args, false, TextKind::kAscii, &prepared).ok());
    EXPECT_EQ(MaskStamp(prepared.header),
              "From: \"Ann\" <ann@x.org>\r\nTo: Bob <bob@x.org>\r\nCc: c@x.org\r\n"
              "Subject: Hi\r\nDate: DATE\r\nMessage-ID: <ID@x.org>\r\n\r\n");
    EXPECT_EQ(prepared.recipients, (List{"bob@x.org", "c@x.org", "d@x.org", "e@x.org"}));
  }
  {  // IgnoreTo keeps the To line but sends only to Cc.
    ASSERT_TRUE(
        PrepareMessage({"a@x.org", "b@x.org", "c@x.org", "", ""}, true, TextKind::kAscii, &prepared)
            .ok());
    EXPECT_EQ(MaskStamp(prepared.header),
              "From: a@x.org\r\nTo: b@x.org\r\nCc: c@x.org\r\n"
              "Date: DATE\r\nMessage-ID: <ID@x.org>\r\n\r\n");
    EXPECT_EQ(prepared.recipients, List{"c@x.org"});
  }
  {  // A Cc of blanks is a Cc: it is written, passes the IgnoreTo check and
     // adds no one.
    ASSERT_TRUE(
        PrepareMessage({"a@x.org", "b@x.org", "  ", "", ""}, true, TextKind::kAscii, &prepared)
            .ok());
    EXPECT_EQ(MaskStamp(prepared.header),
              "From: a@x.org\r\nTo: b@x.org\r\nCc:   \r\n"
              "Date: DATE\r\nMessage-ID: <ID@x.org>\r\n\r\n");
    EXPECT_EQ(prepared.recipients, List{});
  }
  {  // A display name with a comma is one recipient.
    ASSERT_TRUE(PrepareMessage({"a@x.org", "\"Lee, Ann\" <ann@x.org>", "", "", ""}, false,
                               TextKind::kAscii, &prepared)
                    .ok());
    EXPECT_EQ(prepared.recipients, List{"ann@x.org"});
  }
}

TEST(BuildHeaderTest, Refusals) {
  PreparedMessage prepared;
  struct Case {
    MessageArguments args;
    bool ignore_to;
    int32_t code;
    std::string message;
  };
  const std::string k52 = "Address contains a line break";
  const std::string k54 = "Address is not valid";
  const Case cases[] = {
      {{"", "b@x.org", "", "", ""}, false, 50, "From parameter required"},
      {{"a@x.org", "", "c@x.org", "", ""}, true, 51, "To parameter required"},
      {{"a@x.org", "b@x.org", "", "", "Hi"},
       true,
       55,
       "To is ignored, and no other destinations given"},
      {{"a@x.org\r\nRSET", "b@x.org", "", "", ""}, false, 52, k52},
      {{"a@x.org", "b@x.org", "c\n@x.org", "", ""}, false, 52, k52},
      {{"a@x.org", "b@x.org", "", "Bob <b\r@x.org>", ""}, false, 52, k52},
      // Anywhere in an argument, display names and the ends included.
      {{"\"A\r\nB\" <a@x.org>", "b@x.org", "", "", ""}, false, 52, k52},
      {{"a@x.org", "b@x.org\r\n", "", "", ""}, false, 52, k52},
      {{"a@x.org", "b@x.org\r\nRCPT TO:<x@x.org>", "", "", ""}, false, 52, k52},
      {{"a@x.org", "b@x.org", "", "", "Hi\r\nBcc: spy@x.org"},
       false,
       53,
       "Subject contains a line break"},
      {{"a@x.org", "b@x.org", "", "", "Hi\n"}, false, 53, "Subject contains a line break"},
      {{"a@x.org", "b@x.org", "", "", "\rHi"}, false, 53, "Subject contains a line break"},
      {{"a@x.org> SIZE=999999999", "b@x.org", "", "", ""}, false, 54, k54},
      {{"<a@x.org SIZE=9>", "b@x.org", "", "", ""}, false, 54, k54},
      {{"a@x.org", "b@x.org", "c@x.org", "<d@x.org<e@x.org>", ""}, false, 54, k54},
      {{"a@x.org", "b@x.org", "Carl <c@x.org\tNOTIFY=NEVER>", "", ""}, false, 54, k54},
      {{"a@x.org", std::string("b@x.org\0c", 9), "", "", ""}, false, 54, k54},
      {{"a@x.org", "b@x\x7f.org", "", "", ""}, false, 54, k54},
      {{"a@x.org", "\"b c@x.org", "", "", ""}, false, 54, k54},    // a quote never closed
      {{"a@x.org", "\"b\\ c@x.org", "", "", ""}, false, 54, k54},  // its blank escaped
      {{"a@x.org", "\"b\" c@x.org", "", "", ""}, false, 54, k54},
      // Escaped inside quotes, "<" and ">" are still refused.
      {{"a@x.org", "\"b\\<c\"@x.org", "", "", ""}, false, 54, k54},
      {{"\"a\\> SIZE=9\"@x.org", "b@x.org", "", "", ""}, false, 54, k54},
      // The earlier codes come first; then line breaks, then the addresses.
      {{"", "b@x.org\r\n", "", "", "\r\n"}, false, 50, "From parameter required"},
      {{"a@x.org\n", "", "", "", ""}, false, 51, "To parameter required"},
      {{"a@x.org\n", "b@x.org", "", "", ""},
       true,
       55,
       "To is ignored, and no other destinations given"},
      {{"a@x.org>", "b@x.org", "", "", "\n"}, false, 53, "Subject contains a line break"},
      {{"a@x.org>", "b@x.org\n", "", "", "\n"}, false, 52, k52},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.from + " | " + c.args.to + " | " + c.args.cc + " | " + c.args.bcc);
    Outcome outcome = PrepareMessage(c.args, c.ignore_to, TextKind::kAscii, &prepared);
    EXPECT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.code(), c.code);
    EXPECT_EQ(outcome.message(), c.message);
  }
  // Blanks inside quotes and around the address are no danger; nor is a
  // To address under IgnoreTo, which never reaches the envelope.
  EXPECT_TRUE(PrepareMessage({"\"a b\"@x.org", " <b@x.org> ", "", "\"c \\\" d\"@x.org", ""}, false,
                             TextKind::kAscii, &prepared)
                  .ok());
  EXPECT_EQ(prepared.recipients, (List{"b@x.org", "\"c \\\" d\"@x.org"}));
  EXPECT_TRUE(PrepareMessage({"a@x.org", "b@x.org> X=1", "c@x.org", "", ""}, true, TextKind::kAscii,
                             &prepared)
                  .ok());
}

TEST(BuildHeaderTest, RawFileAddressesAreCheckedTheSameWay) {
  EXPECT_TRUE(CheckEnvelopeAddresses("", {"", "a@x.org", "\"a b\"@x.org"}).ok());
  EXPECT_EQ(CheckEnvelopeAddresses("a@x.org\r", {}).code(), 52);
  EXPECT_EQ(CheckEnvelopeAddresses("a@x.org", {"b@x.org", "c@x.org SIZE=1"}).code(), 54);
  // A line break outranks the other faults, wherever it stands.
  EXPECT_EQ(CheckEnvelopeAddresses("a>b", {"c\nd"}).code(), 52);
}

TEST(BuildHeaderTest, PlainAsciiMessageGetsOnlyTheStamp) {
  MessageArguments args{"\"Ann\" <ann@x.org>", "b@x.org", "", "", "Hi"};
  EXPECT_EQ(BuildHeader(args, TextKind::kAscii, kStamp),
            "From: \"Ann\" <ann@x.org>\r\nTo: b@x.org\r\nSubject: Hi\r\n" + kStampLines + "\r\n");
  // Without a subject the stamp follows the last field; a long ASCII
  // subject stays on its line as passed.
  args.cc = "c@x.org";
  args.subject = std::string(100, 's');
  EXPECT_EQ(BuildHeader(args, TextKind::kAscii, kStamp),
            "From: \"Ann\" <ann@x.org>\r\nTo: b@x.org\r\nCc: c@x.org\r\nSubject: " +
                std::string(100, 's') + "\r\n" + kStampLines + "\r\n");
  args.subject.clear();
  EXPECT_EQ(BuildHeader(args, TextKind::kAscii, kStamp),
            "From: \"Ann\" <ann@x.org>\r\nTo: b@x.org\r\nCc: c@x.org\r\n" + kStampLines + "\r\n");
}

TEST(BuildHeaderTest, TextBeyondAsciiIsDeclaredAndEncoded) {
  {  // Names and subject as encoded words; ASCII entries and addresses stay.
    MessageArguments args{"\"Ann Ä\" <ann@x.org>", "b@x.org, \"Lee, Ann\" <l@x.org>",
                          "Zoë <z@x.org>", "", "Grüße"};
    EXPECT_EQ(BuildHeader(args, TextKind::kAscii, kStamp),
              "From: =?UTF-8?B?QW5uIMOE?= <ann@x.org>\r\n"
              "To: b@x.org, \"Lee, Ann\" <l@x.org>\r\n"
              "Cc: =?UTF-8?B?Wm/Dqw==?= <z@x.org>\r\n"
              "Subject: =?UTF-8?B?R3LDvMOfZQ==?=\r\n" +
                  kStampLines + kUtf8Fields + "\r\n");
  }
  {  // A UTF-8 body alone declares the character set; the header stays.
    MessageArguments args{"a@x.org", "b@x.org", "", "", "Hi"};
    EXPECT_EQ(
        BuildHeader(args, TextKind::kUtf8, kStamp),
        "From: a@x.org\r\nTo: b@x.org\r\nSubject: Hi\r\n" + kStampLines + kUtf8Fields + "\r\n");
    // A body in some other character set is not declared UTF-8, even when
    // the header needs encoded words.
    EXPECT_EQ(BuildHeader(args, TextKind::kOther, kStamp),
              "From: a@x.org\r\nTo: b@x.org\r\nSubject: Hi\r\n" + kStampLines + "\r\n");
    args.subject = "Grüße";
    EXPECT_EQ(BuildHeader(args, TextKind::kOther, kStamp),
              "From: a@x.org\r\nTo: b@x.org\r\nSubject: =?UTF-8?B?R3LDvMOfZQ==?=\r\n" +
                  kStampLines + "\r\n");
  }
  {  // Long texts fold between words, never inside a character.
    std::string subject;
    for (int i = 0; i < 40; ++i) subject += "Ωμέγα ✓ ";
    std::string name;
    for (int i = 0; i < 30; ++i) name += "Zoë ";
    MessageArguments args{"\"" + name + "\" <z@x.org>",
                          "a@x.org, \"" + name + "\" <z@x.org>, \"" + name + "\" <y@x.org>", "", "",
                          subject};
    std::string header = BuildHeader(args, TextKind::kAscii, kStamp);
    EXPECT_LE(LongestLine(header), 78u) << header;
    EXPECT_NE(header.find("\r\n =?UTF-8?B?"), std::string::npos);
    EXPECT_NE(header.find(" <y@x.org>\r\n"), std::string::npos);
  }
  {  // A name one encoded word can hold is not split but moved to the next
     // line: readers differ on the blank between two words of a name.
    std::string to = std::string(40, 'a') + "@x.org, \"Zoë Zoë Zoë Zoë Zoë Zoë Zoë\" <z@x.org>";
    EXPECT_EQ(BuildHeader({"a@x.org", to, "", "", ""}, TextKind::kAscii, kStamp),
              "From: a@x.org\r\nTo: " + std::string(40, 'a') +
                  "@x.org,\r\n =?UTF-8?B?Wm/DqyBab8OrIFpvw6sgWm/DqyBab8OrIFpvw6sgWm/Dqw==?= "
                  "<z@x.org>\r\n" +
                  kStampLines + kUtf8Fields + "\r\n");
  }
}

}  // namespace
}  // namespace verdanpost
