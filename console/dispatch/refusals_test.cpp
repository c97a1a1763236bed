// Reading the mailer's RefusedRecipients and telling the operator about it.

#include "console/dispatch/refusals.h"

#include <gtest/gtest.h>

namespace verdanpost {
namespace {

TEST(RefusalsTest, EachRefusalTakesItsSubscriberInOrder) {
  const std::vector<Refusal> refused = ParseRefusedRecipients(
      "b@x.test\t550\t550 5.1.1 User unknown\n"
      "A@x.test\t450\t450 4.2.1 Try later\n"
      "bad\t54\tAddress is not valid\n");
  ASSERT_EQ(refused.size(), 3u);
  EXPECT_EQ(refused[0].reply, "550 5.1.1 User unknown");
  EXPECT_EQ(refused[2].code, 54);

  // A repeated address is refused once per refusal: the second a@x.test
  // got it. The case of an address does not matter, but the subscriber's
  // own spelling is kept.
  const std::vector<QString> batch = {"a@x.test", "b@x.test", "a@x.test", "c@x.test", "bad"};
  const std::vector<Refusal> account = AccountForBatch(batch, refused);
  ASSERT_EQ(account.size(), 5u);
  std::vector<int32_t> codes;
  for (const Refusal& entry : account) codes.push_back(entry.code);
  EXPECT_EQ(codes, (std::vector<int32_t>{450, 550, 0, 0, 54}));
  EXPECT_EQ(account[0].address, "a@x.test");
  EXPECT_EQ(account[0].reply, "450 4.2.1 Try later");
  EXPECT_TRUE(account[2].reply.isEmpty());

  // A line the mailer wrote without the tabs still counts as a refusal.
  EXPECT_EQ(ParseRefusedRecipients("odd line\n").size(), 1u);
  EXPECT_TRUE(ParseRefusedRecipients("").empty());
}

TEST(RefusalsTest, OnlyPassingFailuresAreTemporary) {
  for (int32_t code : {421, 450, 451, 452, 6, 11}) EXPECT_TRUE(IsTemporary(code)) << code;
  for (int32_t code : {0, 550, 552, 554, 54, 58, 59, 399, 500})
    EXPECT_FALSE(IsTemporary(code)) << code;
}

TEST(RefusalsTest, TheBoxNamesFiveThenCountsTheRest) {
  EXPECT_EQ(RefusedSubscribers({}), "");
  EXPECT_EQ(RefusedSubscribers({{"a@x.test", 550, "550 5.1.1 User unknown"}}),
            "1 subscriber was refused: a@x.test (550 5.1.1 User unknown)");
  std::vector<Refusal> many;
  for (char c = 'a'; c <= 'g'; ++c) many.push_back({QString(c) + "@x.test", 550, "550 no"});
  EXPECT_EQ(RefusedSubscribers(many),
            "7 subscribers were refused: a@x.test (550 no), b@x.test (550 no), c@x.test (550 no), "
            "d@x.test (550 no), e@x.test (550 no) and 2 more");
}

}  // namespace
}  // namespace verdanpost
