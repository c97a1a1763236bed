// The pauses of a send that tries again, and what the dialog says of them.

#include "console/dispatch/send_retry.h"

#include <vector>

#include <gtest/gtest.h>

namespace verdanpost {
namespace {

using std::chrono::minutes;

TEST(SendRetryTest, PausesGrowToHalfAnHourAndStopAtTheLimit) {
  RetrySchedule day(std::chrono::hours(24));
  std::vector<int> pauses;
  while (const std::optional<minutes> pause = day.Next()) pauses.push_back(pause->count());
  // 1 + 2 + 5 + 10 = 18 minutes, then 47 half hours fit in the rest of the day.
  ASSERT_EQ(pauses.size(), 4u + 47u);
  EXPECT_EQ(std::vector<int>(pauses.begin(), pauses.begin() + 6),
            (std::vector<int>{1, 2, 5, 10, 30, 30}));

  // A message that went starts the pauses over, but the limit counts them all.
  RetrySchedule short_one(minutes(6));
  EXPECT_EQ(short_one.Next(), minutes(1));
  EXPECT_EQ(short_one.Next(), minutes(2));
  short_one.Reset();
  EXPECT_EQ(short_one.Next(), minutes(1));
  EXPECT_EQ(short_one.Next(), minutes(2));
  EXPECT_EQ(short_one.Next(), std::nullopt);
  EXPECT_EQ(RetrySchedule(minutes(0)).Next(), std::nullopt);
}

TEST(SendRetryTest, TheDialogSaysUntilWhenAndWhy) {
  EXPECT_EQ(WaitingUntil(QDateTime(QDate(2026, 12, 8), QTime(14, 32, 59)),
                         "450 4.7.1 rate limit exceeded"),
            "Waiting until 14:32 before trying again: 450 4.7.1 rate limit exceeded");
}

}  // namespace
}  // namespace verdanpost
