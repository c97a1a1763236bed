// A bulk send kept beside its records: written, found again, reckoned from
// its records and journal, and forgotten.

#include "console/dispatch/kept_send.h"

#include <gmock/gmock.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "console/dispatch/operator_texts.h"
#include "console/dispatch/send_record.h"

namespace verdanpost {
namespace {

using ::testing::ElementsAre;

const QDateTime kStart(QDate(2026, 12, 8), QTime(9, 30));

class KeptSendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    inputs_.message.UseFile = true;
    inputs_.message.UseText = false;
    inputs_.message.SendRaw = kUnchecked;
    inputs_.message.Subject = "Winter, \"news\"";
    inputs_.message.MessageText = "Line one\r\nLine two\r\n";
    inputs_.setup.FromEmail = "owner@x.test";
    inputs_.setup.ToName = "The List";
    inputs_.setup.SMTPServer = "mail.test:587";
    inputs_.setup.RecipientsPerMessage = "2";
    inputs_.setup.LimitRecipientsPerMessage = kChecked;
    file_ = dir_.filePath("letter.htm");
    QFile letter(file_);
    ASSERT_TRUE(letter.open(QIODevice::WriteOnly));
    letter.write("<p>Hello</p>\r\n");
    inputs_.message.FileName = file_;
    ASSERT_TRUE(QDir().mkpath(Folder()));
  }

  QString Folder() const { return dir_.filePath("sends"); }

  // A record of the send as SendRecord writes it, with `rows`.
  QString Record(const QString& name, const std::vector<RecordRow>& rows) {
    const QString path = QDir(Folder()).filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Message,Recipient,Ended,ErrorCode,ServerReply\r\n");
    file.close();
    QString err;
    EXPECT_TRUE(AppendToSendRecord(path, rows, &err)) << err.toStdString();
    return path;
  }

  std::unique_ptr<KeptSend> Keep(const QString& record) {
    QString err;
    std::unique_ptr<KeptSend> kept = KeptSend::Create(
        record, inputs_, {"a@x.test", "b@x.test", "c@x.test", "d@x.test", "e@x.test", "f@x.test"},
        2, {"List-Id: <list.x.test>"}, "Winter", kStart, &err);
    EXPECT_NE(kept, nullptr) << err.toStdString();
    return kept;
  }

  QTemporaryDir dir_;
  SendInputs inputs_;
  QString file_;
};

TEST_F(KeptSendTest, IsFoundAgainAsItWentWithACopyOfItsFile) {
  const QString record = Record("2026-12-08_09-30-00.csv", {});
  std::unique_ptr<KeptSend> kept = Keep(record);
  ASSERT_NE(kept, nullptr);
  // A change of the file after the send started changes nothing.
  QFile letter(file_);
  ASSERT_TRUE(letter.open(QIODevice::WriteOnly));
  letter.write("changed");
  letter.close();

  std::vector<std::unique_ptr<KeptSend>> found = KeptSend::FindAll(Folder());
  ASSERT_EQ(found.size(), 1u);
  const KeptSend& again = *found[0];
  EXPECT_EQ(again.subject(), "Winter");
  EXPECT_EQ(again.started(), kStart);
  EXPECT_EQ(again.batch_size(), 2);
  EXPECT_THAT(again.list_headers(), ElementsAre("List-Id: <list.x.test>"));
  SendInputs expected = inputs_;
  expected.message.FileName = again.inputs().message.FileName;
  EXPECT_EQ(again.inputs().message, expected.message);
  EXPECT_EQ(again.inputs().setup, expected.setup);
  EXPECT_TRUE(again.inputs().message.FileName.endsWith("/letter.htm"));
  QFile copy(again.inputs().message.FileName);
  ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
  EXPECT_EQ(copy.readAll(), "<p>Hello</p>\r\n");
  // For the owner alone.
  EXPECT_EQ(QFile::permissions(QDir(Folder()).filePath("2026-12-08_09-30-00.send")) & 0x0077, 0);
  EXPECT_EQ(QFile::permissions(again.inputs().message.FileName) & 0x0077, 0);

  found[0]->Forget();
  EXPECT_TRUE(KeptSend::FindAll(Folder()).empty());
  EXPECT_TRUE(QFile::exists(record));  // the record stays
}

TEST_F(KeptSendTest, ReckonsEachSubscriberByTheLastRowAndTheJournal) {
  const QDateTime t = kStart.addSecs(60);
  const QString first =
      Record("2026-12-08_09-30-00.csv", {{1, "a@x.test", t, 0, "250 ok"},
                                         {1, "b@x.test", t, 450, "450 try later"},
                                         {2, "c@x.test", t, 550, "550 unknown"},
                                         {2, "d@x.test", t, 6, "Could not connect"}});
  std::unique_ptr<KeptSend> kept = Keep(first);
  ASSERT_NE(kept, nullptr);
  // A second run: b gets it now; e and f were on the wire when the
  // program ended, with no rows.
  const QString second = Record("2026-12-08_10-00-00.csv", {{1, "b@x.test", t, 0, "250 ok"}});
  QString err;
  ASSERT_TRUE(kept->AddRecord(second, &err)) << err.toStdString();
  const std::vector<QString> batch1 = {"b@x.test"};
  const std::vector<QString> batch2 = {"e@x.test", "f@x.test"};
  ASSERT_TRUE(kept->Announce(second, 1, batch1, &err));
  ASSERT_TRUE(kept->Announce(second, 2, batch2, &err));

  const KeptSend::Account account = KeptSend::FindAll(Folder())[0]->Reckon();
  EXPECT_EQ(account.total, 6);
  EXPECT_EQ(account.reached, 2);                       // a, b
  EXPECT_THAT(account.rest, ElementsAre("d@x.test"));  // c refused for good, e and f in doubt
  // The record says which were in doubt, once.
  std::vector<RecordRow> rows = ReadSendRecord(second);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].recipient, "e@x.test");
  EXPECT_EQ(rows[1].number, 2);
  EXPECT_EQ(rows[1].code, -1);
  EXPECT_EQ(rows[1].reply, kInDoubt);
  EXPECT_EQ(kept->Reckon().rest.size(), 1u);
  EXPECT_EQ(ReadSendRecord(second).size(), 3u);

  // Without its records, whoever a message was for may have it; the rest
  // was never tried.
  ASSERT_TRUE(QFile::remove(first));
  ASSERT_TRUE(QFile::remove(second));
  EXPECT_THAT(kept->Reckon().rest, ElementsAre("a@x.test", "c@x.test", "d@x.test"));
}

TEST_F(KeptSendTest, ARowCutShortIsClosedBeforeNewRows) {
  const QString path = Record("2026-12-08_09-30-00.csv", {{1, "a@x.test", kStart, 0, "250 ok"}});
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::Append));
  file.write("2,b@x.test,2026-12-08T09:");  // the program ended here
  file.close();
  QString err;
  ASSERT_TRUE(AppendToSendRecord(path, {{2, "c@x.test", kStart, -1, "in doubt, \"maybe\""}}, &err));
  const std::vector<RecordRow> rows = ReadSendRecord(path);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].recipient, "c@x.test");
  EXPECT_EQ(rows[1].reply, "in doubt, \"maybe\"");
}

TEST_F(KeptSendTest, NothingIsLeftWhenItCannotBeKept) {
  const QString record = Record("2026-12-08_09-30-00.csv", {});
  // The folder it would take is there already (a file in its way).
  QFile blocker(QDir(Folder()).filePath("2026-12-08_09-30-00.send"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  QString err;
  EXPECT_EQ(KeptSend::Create(record, inputs_, {"a@x.test"}, 1, {}, "Winter", kStart, &err),
            nullptr);
  EXPECT_THAT(err.toStdString(), ::testing::HasSubstr("Cannot create the folder"));
  EXPECT_TRUE(KeptSend::FindAll(Folder()).empty());
}

}  // namespace
}  // namespace verdanpost
