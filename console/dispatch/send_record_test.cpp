#include "console/dispatch/send_record.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <csignal>

#include "console/dispatch/send_record_test_support.h"

namespace verdanpost {
namespace {

using testing_support::ReadCsv;

class SendRecordTest : public ::testing::Test {
 protected:
  QTemporaryDir dir_;
  const QDateTime start_{QDate(2026, 12, 7), QTime(16, 20, 31), QTimeZone(3600)};
};

TEST_F(SendRecordTest, RowsReadBackAsWrittenAndReachTheFileAtOnce) {
  const QString folder = dir_.filePath("data/verdanpost/sends");
  SendRecord record;
  QString err;
  ASSERT_TRUE(record.Create(folder, start_, &err)) << err.toStdString();
  EXPECT_EQ(record.path(), folder + "/2026-12-07_16-20-31.csv");

  const QDateTime ended = start_.addMSecs(1234);
  ASSERT_TRUE(record.AddRow(1, "a@x.test", ended, 0, "250 2.0.0 Ok: queued", &err));
  ASSERT_TRUE(record.AddRow(1, "b@x.test", ended, 550, "550 5.1.1 User unknown", &err));
  // Written through as it is added: another reader sees it now.
  EXPECT_EQ(ReadCsv(record.path()).size(), 3u);
  ASSERT_TRUE(record.AddRow(2, "c@x.test", ended, 554, "Server said \"no\",\nthen hung up", &err));
  ASSERT_TRUE(record.AddRow(3, " d@x.test", ended, -1, "", &err));
  ASSERT_TRUE(record.AddRow(4, "ü@x.test", ended, 6, "Could not connect to server", &err));

  const std::vector<QStringList> rows = ReadCsv(record.path());
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[0], QStringList({"Message", "Recipient", "Ended", "ErrorCode", "ServerReply"}));
  EXPECT_EQ(rows[1], QStringList({"1", "a@x.test", "2026-12-07T16:20:32.234+01:00", "0",
                                  "250 2.0.0 Ok: queued"}));
  EXPECT_EQ(rows[2][3], "550");
  EXPECT_EQ(rows[3], QStringList({"2", "c@x.test", "2026-12-07T16:20:32.234+01:00", "554",
                                  "Server said \"no\",\nthen hung up"}));
  EXPECT_EQ(rows[4][1], " d@x.test");
  EXPECT_EQ(rows[4][3], "-1");
  EXPECT_EQ(rows[5][1], "ü@x.test");
}

TEST_F(SendRecordTest, FieldsAreQuotedOnlyWhenTheyMustBe) {
  EXPECT_EQ(CsvField("a@x.test"), "a@x.test");
  EXPECT_EQ(CsvField(""), "");
  EXPECT_EQ(CsvField("a, b"), "\"a, b\"");
  EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
  EXPECT_EQ(CsvField("cr\ronly"), "\"cr\ronly\"");
  EXPECT_EQ(CsvField("trailing "), "\"trailing \"");
}

TEST_F(SendRecordTest, SendsThatStartTogetherGetFilesOfTheirOwn) {
  SendRecord first, second, third;
  QString err;
  ASSERT_TRUE(first.Create(dir_.path(), start_, &err));
  ASSERT_TRUE(second.Create(dir_.path(), start_, &err));
  ASSERT_TRUE(third.Create(dir_.path(), start_, &err));
  EXPECT_EQ(QFileInfo(first.path()).fileName(), "2026-12-07_16-20-31.csv");
  EXPECT_EQ(QFileInfo(second.path()).fileName(), "2026-12-07_16-20-31_2.csv");
  EXPECT_EQ(QFileInfo(third.path()).fileName(), "2026-12-07_16-20-31_3.csv");
  ASSERT_TRUE(first.AddRow(1, "a@x.test", start_, 0, "", &err));
  // The first record is not touched by the others.
  EXPECT_EQ(ReadCsv(first.path()).size(), 2u);
  EXPECT_EQ(ReadCsv(second.path()).size(), 1u);
}

TEST_F(SendRecordTest, RecordsAreForTheOwnerAlone) {
  const QString folder = dir_.filePath("sends");
  ASSERT_TRUE(QDir().mkpath(folder));  // as an older version left it
  ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::Permissions(0x7755)));
  SendRecord record;
  QString err;
  ASSERT_TRUE(record.Create(folder, start_, &err)) << err.toStdString();
  const QFileDevice::Permissions rw = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ReadUser | QFileDevice::WriteUser;
  EXPECT_EQ(QFile::permissions(record.path()), rw);
  EXPECT_EQ(QFile::permissions(folder), rw | QFileDevice::ExeOwner | QFileDevice::ExeUser);
}

TEST_F(SendRecordTest, RecordThatCannotBeWrittenLeavesNoFile) {
  // A file size limit stands in for a full disk: the header row fails.
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const sighandler_t previous = signal(SIGXFSZ, SIG_IGN);
  struct rlimit tiny = saved;
  tiny.rlim_cur = 8;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
  SendRecord record;
  QString err;
  const bool created = record.Create(dir_.path(), start_, &err);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  EXPECT_FALSE(created);
  // The system's reason, not "Unknown error".
  EXPECT_EQ(err, "Cannot write the file \"" + record.path() + "\": File too large");
  EXPECT_TRUE(QDir(dir_.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(SendRecordTest, AFullDiskIsNamedAsSuch) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  // A file system of one page, in a mount namespace of this process alone.
  if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    GTEST_SKIP() << "no mount namespace here";
  }
  const QString small = dir_.filePath("small");
  ASSERT_TRUE(QDir().mkpath(small));
  ASSERT_EQ(mount("tmpfs", small.toLocal8Bit().constData(), "tmpfs", 0, "size=4k"), 0);
  SendRecord record;
  QString err;
  bool written = record.Create(small, start_, &err);
  for (int i = 0; written && i < 1000; ++i) {
    written = record.AddRow(1, QString(100, 'a') + "@x.test", start_, 0, "250 Ok", &err);
  }
  EXPECT_FALSE(written);
  EXPECT_EQ(err, "Cannot write the file \"" + record.path() + "\": No space left on device");
  umount(small.toLocal8Bit().constData());
}

TEST_F(SendRecordTest, FolderThatCannotBeMadeIsReported) {
  QFile blocker(dir_.filePath("sends"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  SendRecord record;
  QString err;
  EXPECT_FALSE(record.Create(dir_.filePath("sends"), start_, &err));
  EXPECT_EQ(err, "Cannot create the folder \"" + dir_.filePath("sends") + "\"");
}

TEST_F(SendRecordTest, FolderFollowsXdgDataHome) {
  const QByteArray saved_data = qgetenv("XDG_DATA_HOME");
  const QByteArray saved_home = qgetenv("HOME");
  qputenv("XDG_DATA_HOME", "/data/home");
  EXPECT_EQ(SendRecordFolder(), "/data/home/verdanpost/sends");
  qunsetenv("XDG_DATA_HOME");
  qputenv("HOME", "/home/ann");
  EXPECT_EQ(SendRecordFolder(), "/home/ann/.local/share/verdanpost/sends");
  qputenv("XDG_DATA_HOME", saved_data);
  if (saved_data.isNull()) qunsetenv("XDG_DATA_HOME");
  qputenv("HOME", saved_home);
}

}  // namespace
}  // namespace verdanpost
