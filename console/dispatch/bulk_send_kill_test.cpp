// A process running the console's bulk send, killed while a message is on
// the wire, and the send resumed at the next press of Send Message: nobody
// gets the message twice, everyone else gets it, and the record names the
// subscribers of the message that was on its way.

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <map>

#include <gmock/gmock.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "console/dispatch/bulk_send_session.h"
#include "console/dispatch/kept_send.h"
#include "console/dispatch/mailer_client.h"
#include "console/dispatch/operations_test_support.h"
#include "console/dispatch/operator_texts.h"
#include "console/dispatch/send_record.h"
#include "testing/scripted_smtp_peer.h"

namespace verdanpost::testing_support {
namespace {

std::string BuildDir() {
  const char* dir = std::getenv("VERDANPOST_BUILD_DIR");
  return dir != nullptr ? dir : ".";
}

// The journal lines of the kept send in `folder`: one per subscriber of
// each message handed to the mailer.
int JournalLines(const QString& folder) {
  int lines = 0;
  for (const QString& kept : QDir(folder).entryList({"*.send"}, QDir::Dirs)) {
    QFile journal(QDir(folder).filePath(kept + "/journal.txt"));
    if (journal.open(QIODevice::ReadOnly)) lines += static_cast<int>(journal.readAll().count('\n'));
  }
  return lines;
}

TEST(BulkSendKillTest, AResumeAfterAKillReachesExactlyTheRest) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  setenv("AUTOMATION_REGISTRY", dir.filePath("classes-root.reg").toStdString().c_str(), 1);
  const std::string reg =
      BuildDir() + "/bin/autoreg " + BuildDir() + "/lib/libverdanpost.so >/dev/null";
  ASSERT_EQ(std::system(reg.c_str()), 0) << reg;
  const QString folder = dir.filePath("sends");

  // 50 subscribers in batches of 10; the fourth message never gets the
  // server's answer to its end of data.
  ScriptedSmtpPeer peer;
  peer.SetNthReply(SmtpStep::kEndOfData, 3, PeerReply::Stall());
  QProcess sender;
  sender.setProcessChannelMode(QProcess::ForwardedChannels);
  sender.start(QString::fromStdString(BuildDir() + "/bin/bulk_send_process"),
               {folder, QString::fromStdString(peer.server_name()), "50", "10"});
  ASSERT_TRUE(sender.waitForStarted());
  // Killed once the fourth message is on its way: the server has its
  // content and the sender waits for the answer.
  ASSERT_TRUE(peer.WaitForMessages(4, std::chrono::seconds(120)));
  ASSERT_EQ(sender.state(), QProcess::Running);
  ASSERT_EQ(JournalLines(folder), 40);
  ::kill(static_cast<pid_t>(sender.processId()), SIGKILL);
  ASSERT_TRUE(sender.waitForFinished());

  // The next press of Send Message offers the rest.
  std::vector<std::unique_ptr<KeptSend>> kept = KeptSend::FindAll(folder);
  ASSERT_EQ(kept.size(), 1u);
  const QDateTime started = kept[0]->started();
  kept.clear();
  QStringList log;
  FakeOperationsView view(&log);
  view.kept_answers = {KeptSendChoice::kSendNow};
  ProgIdMailerFactory mailers;
  std::vector<QString> list;
  for (int i = 0; i < 50; ++i) list.push_back(QString("s%1@x.test").arg(i, 3, 10, QChar('0')));
  SendInBatches(
      view, mailers, [](BulkSendJob*, QString*) { return false; }, folder,
      [&list](std::vector<QString>* addresses, QString*, const std::function<bool()>&) {
        *addresses = list;
        return true;
      });
  EXPECT_THAT(view.kept_questions,
              ::testing::ElementsAre(ResumeKeptSend("News", started, 30, 50, 10)));
  EXPECT_THAT(view.messages, ::testing::ElementsAre(kMessageSent));
  EXPECT_TRUE(KeptSend::FindAll(folder).empty());

  // Each subscriber was offered to the server at most once: the three
  // messages before the kill, the one on the wire, and the rest.
  std::map<std::string, int> offered;
  for (const std::string& command : peer.commands()) {
    if (command.rfind("RCPT TO:<", 0) == 0) ++offered[command.substr(9, command.size() - 10)];
  }
  for (int i = 0; i < 50; ++i) {
    const std::string address = list[static_cast<size_t>(i)].toStdString();
    EXPECT_EQ(offered[address], 1) << address;
  }
  // The record of the killed run says which were in doubt.
  const QStringList records = QDir(folder).entryList({"*.csv"}, QDir::Files, QDir::Name);
  ASSERT_EQ(records.size(), 2);
  std::vector<QString> in_doubt;
  for (const RecordRow& row : ReadSendRecord(QDir(folder).filePath(records[0]))) {
    if (row.code == -1) {
      EXPECT_EQ(row.reply, kInDoubt);
      in_doubt.push_back(row.recipient);
    }
  }
  EXPECT_EQ(std::vector<QString>(list.begin() + 30, list.begin() + 40), in_doubt);
  EXPECT_EQ(ReadSendRecord(QDir(folder).filePath(records[1])).size(), 10u);
}

}  // namespace
}  // namespace verdanpost::testing_support
