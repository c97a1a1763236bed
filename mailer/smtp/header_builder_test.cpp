#include "mailer/smtp/header_builder.h"

#include <gtest/gtest.h>

namespace verdanpost {
namespace {

using List = std::vector<std::string>;

TEST(BuildHeaderTest, HeaderAndRecipients) {
  PreparedMessage prepared;
  {
    MessageArguments args{"\"Ann\" <ann@x.org>", "Bob <bob@x.org>", "c@x.org", "d@x.org, e@x.org",
                          "Hi"};
    ASSERT_TRUE(BuildHeader(args, false, &prepared).ok());
    EXPECT_EQ(prepared.header,
              "From: \"Ann\" <ann@x.org>\r\nTo: Bob <bob@x.org>\r\nCc: c@x.org\r\n"
              "Subject: Hi\r\n\r\n");
    EXPECT_EQ(prepared.recipients, (List{"bob@x.org", "c@x.org", "d@x.org", "e@x.org"}));
  }
  {  // IgnoreTo keeps the To line but sends only to Cc.
    ASSERT_TRUE(BuildHeader({"a@x.org", "b@x.org", "c@x.org", "", ""}, true, &prepared).ok());
    EXPECT_EQ(prepared.header, "From: a@x.org\r\nTo: b@x.org\r\nCc: c@x.org\r\n\r\n");
    EXPECT_EQ(prepared.recipients, List{"c@x.org"});
  }
  {  // A Cc of blanks is a Cc: it is written, passes the IgnoreTo check and
     // adds no one.
    ASSERT_TRUE(BuildHeader({"a@x.org", "b@x.org", "  ", "", ""}, true, &prepared).ok());
    EXPECT_EQ(prepared.header, "From: a@x.org\r\nTo: b@x.org\r\nCc:   \r\n\r\n");
    EXPECT_EQ(prepared.recipients, List{});
  }
  {  // A display name with a comma is one recipient.
    ASSERT_TRUE(
        BuildHeader({"a@x.org", "\"Lee, Ann\" <ann@x.org>", "", "", ""}, false, &prepared).ok());
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
  const Case cases[] = {
      {{"", "b@x.org", "", "", ""}, false, 50, "From parameter required"},
      {{"a@x.org", "", "c@x.org", "", ""}, true, 51, "To parameter required"},
      {{"a@x.org", "b@x.org", "", "", "Hi"},
       true,
       55,
       "To is ignored, and no other destinations given"},
      {{"a@x.org\r\nRSET", "b@x.org", "", "", ""}, false, 52, "Address contains a line break"},
      {{"a@x.org", "b@x.org", "c\n@x.org", "", ""}, false, 52, "Address contains a line break"},
      {{"a@x.org", "b@x.org", "", "Bob <b\r@x.org>", ""},
       false,
       52,
       "Address contains a line break"},
  };
  for (const Case& c : cases) {
    Outcome outcome = BuildHeader(c.args, c.ignore_to, &prepared);
    EXPECT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.code(), c.code);
    EXPECT_EQ(outcome.message(), c.message);
  }
  // A line break in the display name or around the address is no danger.
  EXPECT_TRUE(
      BuildHeader({"\"A\r\nB\" <a@x.org>", "b@x.org\r\n", "", "", ""}, false, &prepared).ok());
}

}  // namespace
}  // namespace verdanpost
