// The bulk send (Send Message on an SQLite list) through the mailer
// registered from this build, against a real SMTP server
// (testing/smtp_quirks_server.py on aiosmtpd) that behaves as providers do:
// an unknown subscriber, a greylisted one, a limit of recipients per
// transaction, a rate limit on messages, a session closed after a number of
// messages; and the provider's limits in servers.ini. The pauses take no
// time: the send's clock is an InstantWaiter.

#include <gmock/gmock.h>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QTime>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/dispatch/kept_send.h"
#include "console/dispatch/operations_test_support.h"
#include "console/dispatch/operator_texts.h"
#include "console/dispatch/send_record.h"
#include "console/dispatch/send_record_test_support.h"
#include "console/window/test_application_test_support.h"
#include "testing/python_smtp_server.h"

namespace verdanpost::testing_support {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::SizeIs;

// sub00@example.org, sub01@example.org, ...
QString Subscriber(int i) { return QString("sub%1@example.org").arg(i, 2, 10, QChar('0')); }

class BulkSendInteropTest : public ListDatabaseTest {
 protected:
  static void SetUpTestSuite() {
    ListDatabaseTest::SetUpTestSuite();
    static QTemporaryDir registry_dir;
    registry_ = registry_dir.filePath("classes-root.reg").toStdString();
    const char* build = std::getenv("VERDANPOST_BUILD_DIR");
    const std::string dir = build != nullptr ? build : ".";
    const std::string command =
        dir + "/bin/autoreg " + dir + "/lib/libverdanpost.so >/dev/null 2>&1";
    setenv("AUTOMATION_REGISTRY", registry_.c_str(), 1);
    registered_ = std::system(command.c_str()) == 0;
  }

  void SetUp() override {
    if (!PythonSmtpServer::Available()) {
      GTEST_SKIP() << "aiosmtpd is not installed (scripts/install-deps.sh installs it)";
    }
    ListDatabaseTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(registered_) << "autoreg could not register the mailer";
    setenv("AUTOMATION_REGISTRY", registry_.c_str(), 1);
    ASSERT_TRUE(QDir().mkpath(dir_.filePath("out")));
    operations_ = std::make_unique<ListOperations>(view_, mailers_, data_source_);
    SetupSettings& setup = view_.send.setup;
    setup.FromName = "List Desk";
    setup.FromEmail = "desk@list.test";
    setup.ToName = "Owen Owner";
    setup.ToEmail = "owner@list.test";
    setup.CopyMessages = kUnchecked;
    view_.send.message.UseFile = false;
    view_.send.message.UseText = true;
    view_.send.message.Subject = "News";
    view_.send.message.MessageText = "Hello, list";
  }

  // Starts the server with `options` and names it in the Setup values.
  void StartServer(const std::vector<std::string>& options) {
    std::vector<std::string> args{"127.0.0.1", dir_.filePath("out").toStdString()};
    args.insert(args.end(), options.begin(), options.end());
    std::string err;
    ASSERT_TRUE(server_.Start("smtp_quirks_server.py", args, &err)) << err;
    view_.send.setup.SMTPServer = QString("127.0.0.1:%1").arg(server_.port());
  }

  // Subscribes sub00@example.org ... in one statement.
  void SubscribeNumbered(int count) {
    std::string values;
    for (int i = 0; i < count; ++i) {
      values += (i == 0 ? "" : ", ") + ("('s', '" + Subscriber(i).toStdString() +
                                        "', 'Street 1', 0, '2026-01-02 03:04:05', '10.0.0.9')");
    }
    Sql("INSERT INTO MailingList (Name, \"E-Mail\", MailingAddress, BraSize, DateCreated, "
        "IPAddress) VALUES " +
        values);
  }

  void BatchesOf(int size) {
    view_.send.setup.LimitRecipientsPerMessage = kChecked;
    view_.send.setup.RecipientsPerMessage = QString::number(size);
  }

  // Gives the server the provider's limits `keys` in a servers.ini of the
  // test's own.
  void ServerLimits(const QString& keys) {
    saved_servers_ = qgetenv("VERDANPOST_SERVERS");
    const QString path = dir_.filePath("servers.ini");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QString("[%1]\n%2").arg(view_.send.setup.SMTPServer, keys).toUtf8());
    qputenv("VERDANPOST_SERVERS", path.toUtf8());
  }
  void TearDown() override {
    if (!saved_servers_.isNull()) qputenv("VERDANPOST_SERVERS", saved_servers_);
    ListDatabaseTest::TearDown();
  }

  // Presses Send Message, answers Yes to the question before the send, and
  // returns the one box after it.
  QString SendMessage() {
    view_.answers.push_front(true);
    const size_t before = view_.messages.size();
    operations_->SendMessage_Click();
    EXPECT_TRUE(view_.messages.size() > before && IsBulkSendQuestion(view_.messages[before]));
    EXPECT_EQ(view_.messages.size(), before + 2) << "boxes after the question";
    return view_.messages.back();
  }

  // The envelope recipients of each message the server stored, in order.
  std::vector<QStringList> Stored() {
    std::vector<QStringList> messages;
    for (int n = 0;; ++n) {
      QFile file(dir_.filePath("out/%1.envelope").arg(n));
      if (!file.open(QIODevice::ReadOnly)) return messages;
      messages.push_back(QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts).mid(1));
    }
  }

  // How many stored messages each address was among the recipients of.
  QMap<QString, int> TimesStored() {
    QMap<QString, int> times;
    for (const QStringList& recipients : Stored())
      for (const QString& address : recipients) ++times[address];
    return times;
  }

  // Whether each of the first `count` subscribers but `left_out` got the
  // message exactly once, and nobody else got it.
  void ExpectEachOnce(int count, const QString& left_out = QString()) {
    QMap<QString, int> expected;
    for (int i = 0; i < count; ++i)
      if (Subscriber(i) != left_out) expected[Subscriber(i)] = 1;
    EXPECT_EQ(TimesStored(), expected);
  }

  // The lines the server logged, "connect N", "mail CODE", "rcpt ADDRESS
  // CODE", "data CODE", in order.
  QStringList Events() {
    QFile file(dir_.filePath("out/events"));
    return file.open(QIODevice::ReadOnly)
               ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)
               : QStringList();
  }

  // The number of RCPT TO of each transaction the server opened.
  std::vector<int> RcptsPerTransaction() {
    std::vector<int> counts;
    for (const QString& event : Events()) {
      if (event == "mail 250") counts.push_back(0);
      if (event.startsWith("rcpt ") && !counts.empty()) ++counts.back();
    }
    return counts;
  }

  // What the progress showed of the waits, one entry per wait.
  QStringList Waits() { return view_.progress.filter(QRegularExpression("^wait: ")); }

  QByteArray saved_servers_;
  static inline std::string registry_;
  static inline bool registered_ = false;

  QStringList log_;
  FakeOperationsView view_{&log_};
  ProgIdMailerFactory mailers_;
  std::unique_ptr<ListOperations> operations_;
  PythonSmtpServer server_;
  // Tries again for up to a day, without waiting.
  QStringList waits_;  // "until HH:mm" for each wait
  InstantWaiter waiter_{&waits_};
  ScopedSendRetriesForTesting retries_{{&waiter_, std::chrono::hours(24)}};
};

TEST_F(BulkSendInteropTest, AnUnknownSubscriberCostsNobodyElseAndIsNeverOfferedAgain) {
  SubscribeNumbered(10);
  BatchesOf(5);
  StartServer({"--refuse", "sub03@example.org"});
  const QString box = SendMessage();
  EXPECT_EQ(box.toStdString(),
            "1 subscriber was refused: sub03@example.org (550 5.1.1 User unknown)\n" +
                SendRecordNamed(LatestSendRecord()).toStdString());
  ExpectEachOnce(10, "sub03@example.org");
  EXPECT_THAT(Stored(), SizeIs(2));

  // One row a subscriber: the refused one with the server's words.
  const std::vector<QStringList> rows = ReadCsv(LatestSendRecord());
  ASSERT_EQ(rows.size(), 11u);
  EXPECT_EQ(rows[0].join(','), "Message,Recipient,Ended,ErrorCode,ServerReply");
  for (int i = 0; i < 10; ++i) {
    const QStringList& row = rows[static_cast<size_t>(i) + 1];
    EXPECT_EQ(row[0], i < 5 ? "1" : "2");
    EXPECT_EQ(row[1], Subscriber(i));
    EXPECT_EQ(row[3], i == 3 ? "550" : "0") << row[1].toStdString();
    EXPECT_EQ(row[4], i == 3 ? "550 5.1.1 User unknown" : "250 OK") << row[1].toStdString();
  }
  // Nothing is left to offer: not now, nor at the next Send Message.
  EXPECT_TRUE(KeptSend::FindAll(SendRecordFolder()).empty());
  EXPECT_TRUE(Waits().isEmpty());
}

TEST_F(BulkSendInteropTest, ALimitOfFiftyRecipientsMakesTheRestOfTheSendUseBatchesOfFifty) {
  SubscribeNumbered(250);
  BatchesOf(100);
  StartServer({"--recipient-limit", "50"});
  EXPECT_EQ(SendMessage(), kMessageSent);
  ExpectEachOnce(250);
  EXPECT_THAT(Stored(), Each(SizeIs(50)));
  // The first message stopped offering at the first deferral and sent the
  // 50 deferred in a second transaction; every later message is of 50.
  EXPECT_THAT(RcptsPerTransaction(), ElementsAre(51, 50, 50, 50, 50));
  EXPECT_THAT(view_.progress, ElementsAre("1/3 reached 0", "2/4 reached 100", "3/4 reached 150",
                                          "4/4 reached 200"));
  const std::vector<QStringList> rows = ReadCsv(LatestSendRecord());
  ASSERT_EQ(rows.size(), 251u);
  for (size_t i = 1; i < rows.size(); ++i) EXPECT_EQ(rows[i][3], "0") << rows[i][1].toStdString();
}

TEST_F(BulkSendInteropTest, ARateLimitedMessageGoesAfterGrowingPauses) {
  SubscribeNumbered(6);
  BatchesOf(3);
  StartServer({"--busy-data", "2"});
  EXPECT_EQ(SendMessage(), kMessageSent);
  ExpectEachOnce(6);
  EXPECT_THAT(view_.progress,
              ElementsAre("1/2 reached 0",
                          "wait: Waiting until 14:01 before trying again: 450 4.7.1 Rate limit "
                          "exceeded",
                          "1/2 reached 0",
                          "wait: Waiting until 14:03 before trying again: 450 4.7.1 Rate limit "
                          "exceeded",
                          "1/2 reached 0", "2/2 reached 3"));
  // Each try has its rows; the last row of a subscriber says how it ended.
  const std::vector<QStringList> rows = ReadCsv(LatestSendRecord());
  ASSERT_EQ(rows.size(), 13u);
  for (size_t i = 1; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i][0].toInt(), static_cast<int>(i + 2) / 3);
    EXPECT_EQ(rows[i][3], i <= 6 ? "450" : "0") << i;
  }
  EXPECT_TRUE(KeptSend::FindAll(SendRecordFolder()).empty());
}

TEST_F(BulkSendInteropTest, AGreylistedSubscriberGetsItInALaterPass) {
  SubscribeNumbered(6);
  BatchesOf(3);
  StartServer({"--greylist", "sub04@example.org"});
  EXPECT_EQ(SendMessage(), kMessageSent);
  ExpectEachOnce(6);
  EXPECT_THAT(Stored(), ElementsAre(SizeIs(3), SizeIs(2), ElementsAre("sub04@example.org")));
  EXPECT_THAT(view_.progress,
              ElementsAre("1/2 reached 0", "2/2 reached 3",
                          "wait: Waiting until 14:01 before trying again: 450 4.2.0 Greylisted, "
                          "try again later",
                          "3/3 reached 5"));
  const std::vector<QStringList> rows = ReadCsv(LatestSendRecord());
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[5].mid(0, 2).join(' ') + ' ' + rows[5].mid(3).join(' '),
            "2 sub04@example.org 450 450 4.2.0 Greylisted, try again later");
  EXPECT_EQ((rows[7].mid(0, 2).join(' ') + ' ' + rows[7][3]).toStdString(),
            "3 sub04@example.org 0");
}

TEST_F(BulkSendInteropTest, CancelDuringAPauseOffersExactlyThoseNotReachedForNow) {
  // The first message is rate limited and its sub01 unknown; the operator
  // cancels during the pause and says No to the offer.
  SubscribeNumbered(6);
  BatchesOf(3);
  StartServer({"--refuse", "sub01@example.org", "--busy-data", "1"});
  view_.cancel_at = {1};
  const QString box = SendMessage();
  EXPECT_EQ(box.toStdString(),
            "Sending cancelled after 0 of 2 messages.\n"
            "1 subscriber was refused: sub01@example.org (550 5.1.1 User unknown)\n" +
                SendRecordNamed(LatestSendRecord()).toStdString() +
                "\n\n5 subscribers were not reached. Send the message to them now?");
  EXPECT_THAT(Waits(), SizeIs(1));
  EXPECT_TRUE(Stored().empty());

  // The next Send Message offers the same five, and sends to them alone.
  const auto kept = KeptSend::FindAll(SendRecordFolder());
  ASSERT_EQ(kept.size(), 1u);
  view_.kept_answers = {KeptSendChoice::kSendNow};
  view_.messages.clear();
  operations_->SendMessage_Click();
  EXPECT_THAT(view_.kept_questions,
              ElementsAre(ResumeKeptSend("News", kept[0]->started(), 0, 6, 5)));
  EXPECT_THAT(view_.messages, ElementsAre(kMessageSent));
  ExpectEachOnce(6, "sub01@example.org");
  // sub01 was offered RCPT TO once only.
  EXPECT_THAT(Events().filter("rcpt sub01@"), ElementsAre("rcpt sub01@example.org 550"));
}

TEST_F(BulkSendInteropTest, AClosedSessionIsOpenedAgainAndNobodyGetsTheMessageTwice) {
  // Two messages a connection; the first connection made again is turned
  // away too, so the send pauses before the third.
  SubscribeNumbered(10);
  BatchesOf(2);
  StartServer({"--messages-per-connection", "2", "--busy-reconnects", "1"});
  EXPECT_EQ(SendMessage(), kMessageSent);
  ExpectEachOnce(10);
  EXPECT_THAT(Stored(), SizeIs(5));
  EXPECT_THAT(Events().filter(QRegularExpression("^connect ")),
              ElementsAre("connect 1", "connect 2", "connect 3", "connect 4"));
  EXPECT_THAT(Waits(), ElementsAre("wait: Waiting until 14:01 before trying again: 421 4.7.0 Too "
                                   "many connections, try again later"));
  EXPECT_TRUE(KeptSend::FindAll(SendRecordFolder()).empty());
}

TEST_F(BulkSendInteropTest, TheServersLimitsCapTheBatchesAndPaceTheMessages) {
  SubscribeNumbered(7);
  BatchesOf(100);
  StartServer({});
  ServerLimits("RecipientsPerMessage = 3\nMessagesPerMinute = 2\n");
  view_.answers.push_back(true);
  operations_->SendMessage_Click();
  EXPECT_THAT(view_.messages,
              ElementsAre("Send \"News\" to 7 subscribers in 3 messages?", kMessageSent));
  EXPECT_THAT(Stored(), ElementsAre(SizeIs(3), SizeIs(3), SizeIs(1)));
  ExpectEachOnce(7);
  EXPECT_THAT(view_.progress,
              ElementsAre("1/3 reached 0", "2/3 reached 3",
                          "wait: Waiting until 14:01:01: the server allows 2 messages a minute.",
                          "3/3 reached 6"));
}

TEST_F(BulkSendInteropTest, ADayLimitStopsTheSendAndTheNextDayReachesExactlyTheRest) {
  SubscribeNumbered(7);
  BatchesOf(3);
  StartServer({});
  ServerLimits("RecipientsPerDay = 5\n");
  const QString box = SendMessage();
  EXPECT_EQ(box.toStdString(),
            "Sending stopped for today: the server allows 5 recipients a day. The rest can go "
            "out from 2026-12-09 14:00; Send Message then offers to send it.\n" +
                SendRecordNamed(LatestSendRecord()).toStdString());
  EXPECT_THAT(Stored(), ElementsAre(SizeIs(3), SizeIs(2)));

  // The next day, Send Message offers the rest; Yes sends it to them alone.
  const auto kept = KeptSend::FindAll(SendRecordFolder());
  ASSERT_EQ(kept.size(), 1u);
  const QString offer = ResumeKeptSend("News", kept[0]->started(), 5, 7, 2);
  waiter_.set_now(QDateTime(QDate(2026, 12, 9), QTime(14, 0)));
  view_.kept_answers = {KeptSendChoice::kSendNow};
  view_.messages.clear();
  operations_->SendMessage_Click();
  EXPECT_THAT(view_.kept_questions, ElementsAre(offer));
  EXPECT_THAT(view_.messages, ElementsAre(kMessageSent));
  EXPECT_THAT(Stored(), ElementsAre(SizeIs(3), SizeIs(2), SizeIs(2)));
  ExpectEachOnce(7);
  EXPECT_TRUE(KeptSend::FindAll(SendRecordFolder()).empty());
}

}  // namespace
}  // namespace verdanpost::testing_support
