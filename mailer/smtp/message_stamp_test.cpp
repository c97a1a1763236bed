#include "mailer/smtp/message_stamp.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>

#include "mailer/smtp/smtp_session.h"

namespace verdanpost {
namespace {

// Sets the process's time zone for the life of the object.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~ScopedTimeZone() {
    if (had_) {
      ::setenv("TZ", old_.c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

TEST(MessageStampTest, DateIsLocalTimeInThePublishedForm) {
  const std::time_t winter = 1796653203;  // 2026-12-07 14:20:03 UTC, a Monday
  const std::time_t summer = 1783430403;  // 2026-07-07 13:20:03 UTC, a Tuesday
  {
    ScopedTimeZone zone("UTC0");
    EXPECT_EQ(FormatDate(winter), "Mon, 07 Dec 2026 14:20:03 +0000");
    EXPECT_EQ(FormatDate(0), "Thu, 01 Jan 1970 00:00:00 +0000");
  }
  {
    ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(FormatDate(winter), "Mon, 07 Dec 2026 15:20:03 +0100");
    EXPECT_EQ(FormatDate(summer), "Tue, 07 Jul 2026 15:20:03 +0200");
  }
  {  // West of UTC, by hours and a half: the day changes too.
    ScopedTimeZone zone("<-1530>15:30");
    EXPECT_EQ(FormatDate(winter), "Sun, 06 Dec 2026 22:50:03 -1530");
  }
}

TEST(MessageStampTest, MessageIdDomain) {
  EXPECT_EQ(MessageIdDomain("ann@example.org", "host"), "example.org");
  EXPECT_EQ(MessageIdDomain("\"a@b\"@mail.example.org", "host"), "mail.example.org");
  EXPECT_EQ(MessageIdDomain("ann@[192.0.2.1]", "host"), "[192.0.2.1]");
  // No domain, or one that may not stand in a Message-ID: the host's name.
  for (const char* sender : {"", "ann", "ann@", "ann@exa mple.org", "ann@.org", "ann@a..org",
                             "ann@bücher.example", "ann@[1.2]x"}) {
    EXPECT_EQ(MessageIdDomain(sender, "desk.local"), "desk.local") << sender;
  }
  EXPECT_EQ(MessageIdDomain("ann", "bad host"), "localhost");
  EXPECT_EQ(MessageIdDomain("ann", ""), "localhost");
}

TEST(MessageStampTest, MessageIdsDiffer) {
  const std::regex form("<[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9a-f]{16}@example\\.org>");
  std::set<std::string> ids;
  for (int i = 0; i < 10000; ++i) {
    std::string id = NewMessageId("example.org");
    ASSERT_TRUE(std::regex_match(id, form)) << id;
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), 10000u);
  EXPECT_TRUE(StampNow("ann@example.org").message_id.ends_with("@example.org>"));
  EXPECT_TRUE(
      StampNow("ann").message_id.ends_with("@" + MessageIdDomain("", LocalHostName()) + ">"));
}

}  // namespace
}  // namespace verdanpost
