// The batches of a bulk send through a scripted mailer: what is sent, what
// is recorded and who is left unreached. Cancel and stops are tried on the
// whole send (bulk_send_session_test, bulk_send_logic_test).

#include "console/dispatch/recorded_run.h"

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
      // Number, time, "recipients", code, message: drop the time.
      const qsizetype first = row.indexOf(',');
      row.remove(first, row.indexOf(',', first + 1) - first);
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
};

TEST_F(RecordedRunTest, EveryBatchIsTriedAndItsOutcomeRecorded) {
  mailers_.outcomes = {{0, "Message sent"},
                       {550, "Server returned RCPT TO error"},
                       {0, "Message sent"},
                       {6, "Could not connect to server"}};
  const RecordedRunResult result = Run(TenInThrees());
  EXPECT_THAT(SentBccs(log_), ElementsAre("a, b, c", "d, e, f", "g, h, i", "j"));
  EXPECT_EQ(log_.count("Create"), 1);
  EXPECT_EQ(result.messages, 4);
  EXPECT_EQ(result.sent, 4);
  EXPECT_EQ(result.failed, 2);
  EXPECT_EQ(result.reached, 6);
  EXPECT_EQ(result.last_failure, "Could not connect to server (6)");
  EXPECT_FALSE(result.cancelled);
  EXPECT_TRUE(result.stopped.isEmpty());
  EXPECT_EQ(result.unreached, QStringList({"d", "e", "f", "j"}));
  EXPECT_THAT(
      RecordRows(),
      ElementsAre("1,\"a, b, c\",0,Message sent", "2,\"d, e, f\",550,Server returned RCPT TO error",
                  "3,\"g, h, i\",0,Message sent", "4,j,6,Could not connect to server"));
  EXPECT_THAT(progress_seen_,
              ElementsAre("1/4 reached 0", "2/4 reached 3", "3/4 reached 3", "4/4 reached 6"));
}

}  // namespace
}  // namespace verdanpost
