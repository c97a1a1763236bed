// The batches of a bulk send through a scripted mailer: what is sent, what
// is recorded and who is left unreached. Cancel and stops are tried on the
// whole send (bulk_send_session_test, bulk_send_logic_test).

#include "console/dispatch/recorded_run.h"

#include <chrono>
#include <optional>

#include <gmock/gmock.h>
#include <QFile>
#include <QTemporaryDir>

#include "console/dispatch/fake_mailer_test_support.h"
#include "console/dispatch/scripted_progress_test_support.h"

namespace verdanpost {
namespace {

using ::testing::ElementsAre;
using testing_support::ScriptedMailerFactory;
using testing_support::ScriptedProgress;
using testing_support::SentBccs;

class RecordedRunTest : public ::testing::Test {
 protected:
  RecordedRunTest() {
    inputs_.message.UseFile = false;
    inputs_.message.UseText = true;
    inputs_.message.Subject = "News";
    inputs_.setup.SMTPServer = "mail.test";
    inputs_.setup.CopyMessages = kUnchecked;
  }

  // Ten subscribers a..j in batches of three.
  static BatchPlan TenInThrees() {
    return BatchPlan({"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}, 3);
  }

  RecordedRunResult Run(const BatchPlan& plan) {
    QString err;
    EXPECT_TRUE(record_.Create(dir_.path(), QDateTime::currentDateTime(), &err));
    RecordedRun run(inputs_, plan, record_);
    return run.Run(mailers_, progress_);
  }

  // The record's rows after the header, fields joined by "|" without the time.
  QStringList RecordRows() const {
    QFile file(record_.path());
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList rows = QString::fromUtf8(file.readAll()).split("\r\n", Qt::SkipEmptyParts);
    rows.removeFirst();
    for (QString& row : rows) {
      // Number, recipient, time, code, reply: drop the time.
      const qsizetype second = row.indexOf(',', row.indexOf(',') + 1);
      row.remove(second, row.indexOf(',', second + 1) - second);
    }
    return rows;
  }

  SendInputs inputs_;
  QStringList log_;
  ScriptedMailerFactory mailers_{&log_};
  QStringList progress_seen_;
  ScriptedProgress progress_{&progress_seen_};
  QTemporaryDir dir_;
  SendRecord record_;
  testing_support::NoRetries no_retries_;
};

TEST_F(RecordedRunTest, EverySubscriberIsAccountedForInOneSession) {
  mailers_.outcomes = {
      // b refused for good, c for now; a got it.
      {0,
       "Message sent",
       "250 2.0.0 Ok: queued as 1",
       {},
       {},
       "b\t550\t550 5.1.1 User unknown\nc\t450\t450 4.2.1 Mailbox busy\n"},
      // Nobody got the second: a failure that may pass.
      {421, "Server returned MAIL FROM error", "421 4.7.0 Try again later"},
      {0, "Message sent", "250 Ok"},
      // The connection failed: no server words, the mailer's own.
      {6, "Could not connect to server"},
  };
  const RecordedRunResult result = Run(TenInThrees());
  EXPECT_THAT(SentBccs(log_), ElementsAre("a, b, c", "d, e, f", "g, h, i", "j"));
  // One mailer, one session, switched on before the first send and ended
  // after the last.
  EXPECT_THAT(log_.mid(0, 5), ElementsAre("Create", "ServerName|mail.test", "IgnoreTo|-1",
                                          "PartialDelivery|-1", "KeepConnection|-1"));
  EXPECT_EQ(log_.back(), "Disconnect");
  EXPECT_EQ(log_.count("Disconnect"), 1);
  EXPECT_EQ(result.messages, 4);
  EXPECT_EQ(result.sent, 4);
  EXPECT_EQ(result.failed, 2);
  EXPECT_EQ(result.reached, 4);
  EXPECT_EQ(result.last_failure, "Could not connect to server (6)");
  EXPECT_FALSE(result.cancelled);
  EXPECT_TRUE(result.stopped.isEmpty());
  // The temporary ones may be sent to again; b never.
  EXPECT_EQ(result.unreached, QStringList({"c", "d", "e", "f", "j"}));
  ASSERT_EQ(result.refused.size(), 1u);
  EXPECT_EQ(result.refused[0].address, "b");
  EXPECT_THAT(RecordRows(),
              ElementsAre("1,a,0,250 2.0.0 Ok: queued as 1", "1,b,550,550 5.1.1 User unknown",
                          "1,c,450,450 4.2.1 Mailbox busy", "2,d,421,421 4.7.0 Try again later",
                          "2,e,421,421 4.7.0 Try again later", "2,f,421,421 4.7.0 Try again later",
                          "3,g,0,250 Ok", "3,h,0,250 Ok", "3,i,0,250 Ok",
                          "4,j,6,Could not connect to server (6)"));
  EXPECT_THAT(progress_seen_,
              ElementsAre("1/4 reached 0", "2/4 reached 1", "3/4 reached 1", "4/4 reached 4"));
}

TEST_F(RecordedRunTest, TheSessionEndsOnCancelAndWhenTheMailerBreaks) {
  const BatchPlan plan = TenInThrees();
  QString err;
  ASSERT_TRUE(record_.Create(dir_.path(), QDateTime::currentDateTime(), &err));
  {
    ScriptedProgress cancel_after_two(&progress_seen_, 2);
    const RecordedRunResult result =
        RecordedRun(inputs_, plan, record_).Run(mailers_, cancel_after_two);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.unreached, QStringList({"g", "h", "i", "j"}));
    EXPECT_EQ(log_.back(), "Disconnect");
  }
  {
    log_.clear();
    mailers_.FailCall("SendMessage", 2);
    const RecordedRunResult result = RecordedRun(inputs_, plan, record_).Run(mailers_, progress_);
    EXPECT_EQ(result.stopped, "The message could not be handed to the mailer: broken SendMessage");
    EXPECT_EQ(result.unreached, QStringList({"d", "e", "f", "g", "h", "i", "j"}));
    EXPECT_EQ(log_.back(), "Disconnect");
  }
}

class RecordedRunRetryTest : public RecordedRunTest {
 protected:
  // Sends that wait (no time at all) up to `limit` in all, telling waits_.
  void AllowWaiting(std::chrono::minutes limit) { retries_.emplace(SendRetries{&waiter_, limit}); }

  QStringList waits_;
  testing_support::InstantWaiter waiter_{&waits_};
  std::optional<ScopedSendRetriesForTesting> retries_;
};

TEST_F(RecordedRunRetryTest, TemporaryFailuresAreTriedAgainAfterGrowingPauses) {
  AllowWaiting(std::chrono::hours(24));
  mailers_.outcomes = {
      // The first message is refused whole, twice, then goes.
      {450, "Server returned MAIL FROM error", "450 4.7.1 rate limit exceeded"},
      {421, "Server returned MAIL FROM error", "421 4.7.0 Try again later"},
      {0, "Message sent", "250 Ok"},
      // The second leaves e out for now and f for good.
      {0, "Message sent", "250 Ok", {}, {}, "e\t451\t451 4.3.0 Busy\nf\t550\t550 No such user\n"},
      {0, "Message sent", "250 Ok"},
      // e in a pass of its own.
      {0, "Message sent", "250 Ok"},
  };
  const RecordedRunResult result = Run(BatchPlan({"a", "b", "c", "d", "e", "f", "g"}, 3));
  EXPECT_THAT(SentBccs(log_), ElementsAre("a, b, c", "a, b, c", "a, b, c", "d, e, f", "g", "e"));
  // 1 then 2 minutes; after a message went, 1 minute again.
  EXPECT_THAT(waits_, ElementsAre("until 14:01", "until 14:03", "until 14:04"));
  EXPECT_THAT(
      progress_seen_,
      ElementsAre("1/3 reached 0",
                  "wait: Waiting until 14:01 before trying again: 450 4.7.1 rate limit "
                  "exceeded",
                  "1/3 reached 0",
                  "wait: Waiting until 14:03 before trying again: 421 4.7.0 Try again later",
                  "1/3 reached 0", "2/3 reached 3", "3/3 reached 4",
                  "wait: Waiting until 14:04 before trying again: 451 4.3.0 Busy",
                  "4/4 reached 5"));
  EXPECT_EQ(result.reached, 7 - 1);
  EXPECT_EQ(result.failed, 0);
  EXPECT_EQ(result.sent, 4);
  EXPECT_TRUE(result.unreached.isEmpty());
  ASSERT_EQ(result.refused.size(), 1u);
  EXPECT_EQ(result.refused[0].address, "f");
  // Every try has its rows, numbered as it went out.
  const QStringList rows = RecordRows();
  EXPECT_EQ(rows.size(), 3 + 3 + 3 + 3 + 1 + 1);
  EXPECT_EQ(rows[0], "1,a,450,450 4.7.1 rate limit exceeded");
  EXPECT_EQ(rows[6], "3,a,0,250 Ok");
  EXPECT_EQ(rows.last(), "6,e,0,250 Ok");
}

TEST_F(RecordedRunRetryTest, AMessageThatGotNoReplyIsLeftToTheOperator) {
  // It may have gone: no automatic try again, but not refused for good either.
  AllowWaiting(std::chrono::hours(24));
  mailers_.outcomes = {{-1, "Server returned end of data error"}};
  const RecordedRunResult result = Run(BatchPlan({"a", "b"}, 2));
  EXPECT_TRUE(waits_.isEmpty());
  EXPECT_THAT(SentBccs(log_), ElementsAre("a, b"));
  EXPECT_EQ(result.unreached, QStringList({"a", "b"}));
  EXPECT_TRUE(result.refused.empty());
  EXPECT_EQ(result.failed, 1);
}

TEST_F(RecordedRunRetryTest, WaitingEndsAtTheLimitOrOnCancel) {
  {
    // Within 3 minutes: pauses of 1 and 2, then no more, for any message
    // of the send.
    AllowWaiting(std::chrono::minutes(3));
    mailers_.outcomes.assign(5, {450, "Server returned MAIL FROM error", "450 Later"});
    const RecordedRunResult result = Run(BatchPlan({"a", "b"}, 1));
    EXPECT_THAT(waits_, ElementsAre("until 14:01", "until 14:03"));
    EXPECT_THAT(SentBccs(log_), ElementsAre("a", "a", "a", "b"));
    EXPECT_EQ(result.failed, 2);
    EXPECT_EQ(result.unreached, QStringList({"a", "b"}));
    EXPECT_FALSE(result.cancelled);
  }
  {
    // Cancel while waiting: the message is not tried again.
    log_.clear();
    waits_.clear();
    AllowWaiting(std::chrono::hours(24));
    mailers_.outcomes = {{450, "Server returned MAIL FROM error", "450 Later"}};
    testing_support::ScriptedProgress cancel_at_first(&progress_seen_, 1);
    SendRecord record;
    QString err;
    ASSERT_TRUE(record.Create(dir_.path(), QDateTime::currentDateTime(), &err));
    const BatchPlan plan({"a", "b"}, 1);
    const RecordedRunResult result =
        RecordedRun(inputs_, plan, record).Run(mailers_, cancel_at_first);
    EXPECT_THAT(SentBccs(log_), ElementsAre("a"));
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.unreached, QStringList({"a", "b"}));
    EXPECT_EQ(log_.back(), "Disconnect");
  }
}

TEST_F(RecordedRunRetryTest, ARefusalForGoodStaysWhenTheRestOfItsMessageFailsForNow) {
  // b is refused for good at RCPT TO, then the message fails for now at the
  // end of the data: the try again leaves b out, and b is refused, not
  // unreached, however the message ends.
  for (const bool cancel : {false, true}) {
    log_.clear();
    waits_.clear();
    AllowWaiting(std::chrono::hours(24));
    mailers_.outcomes = {{450,
                          "Server returned end of data error",
                          "450 4.7.1 Rate limit exceeded",
                          {},
                          {},
                          "a\t450\t450 4.7.1 Rate limit exceeded\nb\t550\t550 5.1.1 User unknown\n"
                          "c\t450\t450 4.7.1 Rate limit exceeded\n"},
                         {0, "Message sent", "250 Ok"}};
    testing_support::ScriptedProgress progress(&progress_seen_, cancel ? 1 : 0);
    SendRecord record;
    QString err;
    ASSERT_TRUE(record.Create(dir_.path(), QDateTime::currentDateTime(), &err));
    const BatchPlan plan({"a", "b", "c"}, 3);
    const RecordedRunResult result = RecordedRun(inputs_, plan, record).Run(mailers_, progress);
    ASSERT_EQ(result.refused.size(), 1u) << cancel;
    EXPECT_EQ(result.refused[0].address, "b");
    EXPECT_EQ(result.refused[0].reply, "550 5.1.1 User unknown");
    if (cancel) {
      EXPECT_THAT(SentBccs(log_), ElementsAre("a, b, c"));
      EXPECT_EQ(result.unreached, QStringList({"a", "c"}));
    } else {
      EXPECT_THAT(SentBccs(log_), ElementsAre("a, b, c", "a, c"));
      EXPECT_TRUE(result.unreached.isEmpty());
      EXPECT_EQ(result.reached, 2);
    }
  }
}

}  // namespace
}  // namespace verdanpost
