// The console program itself, started as a process of its own on the
// offscreen platform in a home of its own, and told to stop with a signal.

#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

class ConsoleProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home_.isValid());
    config_ = home_.filePath(".config");
    ASSERT_TRUE(QDir().mkpath(config_));
    store_ = config_ + "/Verdanpost Console.ini";
  }

  void WriteStore(const QByteArray& text) {
    QFile file(store_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  }

  // Starts the console and waits until it catches `signal_number`: before
  // that the signal would end it the default way.
  void Start(int signal_number) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home_.path());
    env.insert("XDG_CONFIG_HOME", config_);
    env.insert("XDG_DATA_HOME", home_.filePath(".local/share"));
    env.insert("XDG_STATE_HOME", home_.filePath(".local/state"));
    env.insert("XDG_CACHE_HOME", home_.filePath(".cache"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    console_.setProcessEnvironment(env);
    console_.setProgram(VERDANPOST_CONSOLE);
    console_.start();
    ASSERT_TRUE(console_.waitForStarted(10000)) << console_.errorString().toStdString();
    QElapsedTimer timer;
    timer.start();
    while (!Catches(console_.processId(), signal_number)) {
      ASSERT_LT(timer.elapsed(), 30000) << "the console never caught signal " << signal_number;
      ASSERT_EQ(console_.state(), QProcess::Running) << console_.readAllStandardError().data();
      QThread::msleep(10);
    }
  }

  // Whether process `pid` has a handler of its own for `signal_number`.
  static bool Catches(qint64 pid, int signal_number) {
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
      if (!line.startsWith("SigCgt:")) continue;
      const quint64 caught = line.mid(7).trimmed().toULongLong(nullptr, 16);
      return (caught >> (signal_number - 1)) & 1;
    }
    return false;
  }

  // Sends the signal and waits for the program to end; its exit code.
  int Stop(int signal_number) {
    ::kill(static_cast<pid_t>(console_.processId()), signal_number);
    EXPECT_TRUE(console_.waitForFinished(30000));
    EXPECT_EQ(console_.exitStatus(), QProcess::NormalExit);
    return console_.exitCode();
  }

  QString Stored(const QString& key) const {
    return QSettings(store_, QSettings::IniFormat).value(key).toString();
  }
  QStringList StoredKeys(const QString& section) const {
    QSettings settings(store_, QSettings::IniFormat);
    settings.beginGroup(section);
    return settings.childKeys();
  }

  QTemporaryDir home_;
  QString config_;
  QString store_;
  QProcess console_;
};

TEST_F(ConsoleProgramTest, StopSignalsWriteTheSettingsAsClosingDoes) {
  for (const int signal_number : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    ASSERT_TRUE(!QFile::exists(store_) || QFile::remove(store_));
    WriteStore(
        "[Setup]\nSMTPServer=mail.example.org\n[Messages]\nUseFile=False\nUseText=True\n"
        "Subject=Spring news\n");
    Start(signal_number);
    EXPECT_EQ(Stop(signal_number), 0) << console_.readAllStandardError().data();
    // What closing writes: the shown definition and the Setup page, each
    // whole, with what was loaded kept.
    EXPECT_EQ(StoredKeys("Messages"),
              (QStringList{"FileName", "MessageText", "SendRaw", "Subject", "UseFile", "UseText"}));
    EXPECT_EQ(StoredKeys("Setup").size(), 8);
    EXPECT_EQ(Stored("Setup/SMTPServer"), "mail.example.org");
    EXPECT_EQ(Stored("Messages/Subject"), "Spring news");
    EXPECT_EQ(Stored("Messages/UseText"), "True");
  }
}

}  // namespace
