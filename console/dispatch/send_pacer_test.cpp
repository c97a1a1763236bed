// When a paced send lets its next message go, and how many recipients.

#include "console/dispatch/send_pacer.h"

#include <deque>
#include <vector>

#include <gtest/gtest.h>

namespace verdanpost {
namespace {

const QDateTime kNoon(QDate(2026, 12, 8), QTime(12, 0));

std::vector<SentMessage> EverySecond(const QDateTime& first, int count, int64_t recipients = 1) {
  std::vector<SentMessage> history;
  for (int i = 0; i < count; ++i) history.push_back({first.addSecs(i), recipients});
  return history;
}

TEST(SendPacerTest, MessagesWaitForTheMinuteAndTheHour) {
  {
    // 30 a minute, 30 sent in the last 30 seconds: the next goes a minute
    // (and a second) after the first of them.
    const SendPacer pacer({0, 30, 0, 0}, EverySecond(kNoon.addSecs(-30), 30));
    const SendPacer::Slot slot = pacer.Next(kNoon, 10);
    EXPECT_EQ(slot.at, kNoon.addSecs(-30 + 61));
    EXPECT_EQ(slot.recipients, 10);
    EXPECT_EQ(PacingUntil(slot.at, slot.reason),
              "Waiting until 12:00:31: the server allows 30 messages a minute.");
    // 29 in the minute: at once.
    EXPECT_EQ(SendPacer({0, 30, 0, 0}, EverySecond(kNoon.addSecs(-29), 29)).Next(kNoon, 1).at,
              kNoon);
  }
  {
    // The hour is full after the minute allows: the hour decides.
    const SendPacer pacer({0, 100, 50, 0}, EverySecond(kNoon.addSecs(-1800), 50));
    const SendPacer::Slot slot = pacer.Next(kNoon, 1);
    EXPECT_EQ(slot.at, kNoon.addSecs(-1800 + 3601));
    EXPECT_EQ(slot.reason, "the server allows 50 messages an hour");
  }
  {
    // No limits: everything at once.
    const SendPacer pacer({}, EverySecond(kNoon.addSecs(-10), 10, 1000));
    EXPECT_EQ(pacer.Next(kNoon, 7).at, kNoon);
    EXPECT_EQ(pacer.Next(kNoon, 7).recipients, 7);
  }
}

TEST(SendPacerTest, AWholeSendNeverHasMoreThanTheLimitInAnyMinute) {
  // 300 messages at 30 a minute, each going when the pacer lets it: never
  // 31 within 60 seconds, and done in 9 minutes and a few seconds.
  SendPacer pacer({0, 30, 0, 0}, {});
  std::vector<QDateTime> sent;
  QDateTime now = kNoon;
  for (int i = 0; i < 300; ++i) {
    const SendPacer::Slot slot = pacer.Next(now, 10);
    ASSERT_GE(slot.at, now);
    now = slot.at;
    pacer.Sent(now, 10);
    sent.push_back(now);
    now = now.addMSecs(200);  // the message takes its time
  }
  for (size_t i = 30; i < sent.size(); ++i) {
    ASSERT_GT(sent[i - 30].secsTo(sent[i]), 60) << "message " << i;
  }
  EXPECT_LE(kNoon.secsTo(sent.back()), 9 * 60 + 20);
}

TEST(SendPacerTest, TheDayLimitShrinksTheLastBatchThenStops) {
  // 500 a day, 450 taken in the last day: 50 more, then none until the
  // oldest recipients count no more.
  std::vector<SentMessage> history = {{kNoon.addSecs(-23 * 3600), 100},
                                      {kNoon.addSecs(-20 * 3600), 350},
                                      {kNoon.addSecs(-25 * 3600), 400}};  // older than a day
  SendPacer pacer({0, 0, 0, 500}, history);
  SendPacer::Slot slot = pacer.Next(kNoon, 100);
  EXPECT_EQ(slot.at, kNoon);
  EXPECT_EQ(slot.recipients, 50);
  pacer.Sent(kNoon, 50);
  slot = pacer.Next(kNoon.addSecs(5), 100);
  EXPECT_EQ(slot.recipients, 0);
  EXPECT_EQ(slot.reason, "the server allows 500 recipients a day");
  // Once the 100 of 23 hours ago count no more, 400 of 500 are taken.
  EXPECT_EQ(slot.at, kNoon.addSecs(3600));
  EXPECT_EQ(pacer.Next(kNoon.addSecs(3600 + 1), 100).recipients, 100);
  // A limit of thousands is written as such.
  EXPECT_EQ(SendPacer({0, 0, 0, 2000}, {{kNoon, 2000}}).Next(kNoon, 1).reason,
            "the server allows 2,000 recipients a day");
}

}  // namespace
}  // namespace verdanpost
