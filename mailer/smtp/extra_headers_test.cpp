// The caller's extra header lines: what may go into a header and what not.

#include "mailer/smtp/extra_headers.h"

#include <gtest/gtest.h>

namespace verdanpost {
namespace {

TEST(ExtraHeadersTest, WellFormedLinesGoOutWithCrlf) {
  std::string lines;
  ASSERT_TRUE(CheckExtraHeaders("A: 1\nB-2:two\r\n\tfolded\r\n\r\nC:\n", &lines).ok());
  EXPECT_EQ(lines, "A: 1\r\nB-2:two\r\n\tfolded\r\nC:\r\n");
  ASSERT_TRUE(CheckExtraHeaders("", &lines).ok());
  EXPECT_EQ(lines, "");
}

TEST(ExtraHeadersTest, FaultsAreRefusedWithTheFirstNamed) {
  struct Case {
    const char* text;
    const char* why;
  };
  for (const Case& c : {
           Case{"No colon here", "line 1 is not \"Name: value\""},
           Case{": empty name", "line 1 is not \"Name: value\""},
           Case{"Two words: x", "line 1 is not \"Name: value\""},
           Case{" leading: fold", "line 1 continues no field"},
           Case{"A: 1\nB: bell\a", "line 2 holds a control character"},
           Case{"A: 1\rB: 2", "line 1 holds a control character"},
           Case{"A: caf\xc3\xa9", "line 1 is not ASCII"},
           Case{"Message-Id: <x@y>", "the mailer writes \"Message-Id\" itself"},
           Case{"CONTENT-TYPE: text/html", "the mailer writes \"CONTENT-TYPE\" itself"},
       }) {
    std::string lines = "stale";
    const Outcome outcome = CheckExtraHeaders(c.text, &lines);
    EXPECT_EQ(outcome.code(), 60) << c.text;
    EXPECT_EQ(outcome.message(), std::string("Extra header lines are not valid: ") + c.why)
        << c.text;
  }
  // A NUL inside the text is a control character too.
  std::string lines;
  EXPECT_FALSE(CheckExtraHeaders(std::string("A: x\0y", 6), &lines).ok());
}

}  // namespace
}  // namespace verdanpost
