#include "console/settings/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <unistd.h>

#include <gtest/gtest.h>

#include "console/settings/message_definition.h"
#include "console/settings/settings_texts.h"

// Lets failures show texts rather than bytes.
inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }

namespace verdanpost {
namespace {

class SettingsStoreTest : public ::testing::Test {
 protected:
  QString Path(const QString& name) const { return dir_.filePath(name); }

  // Writes through a store and reads back from a copy of the file, so that
  // the values really pass through the file and not QSettings' cache.
  QString RoundTrip(const QString& value) {
    const QString written = Path(QStringLiteral("w%1.ini").arg(++files_));
    {
      QSettings settings(written, QSettings::IniFormat);
      SettingsStore store(settings);
      store.Write("Messages", "Subject", value);
      EXPECT_EQ(store.Flush(), std::nullopt);
    }
    {
      // What the store wrote, it finds whole when it opens the file again.
      QSettings settings(written, QSettings::IniFormat);
      EXPECT_EQ(SettingsStore(settings).CheckFile(), std::nullopt);
    }
    const QString copy = written + ".copy.ini";
    EXPECT_TRUE(QFile::copy(written, copy));
    QSettings settings(copy, QSettings::IniFormat);
    return SettingsStore(settings).Read("Messages", "Subject", "missing");
  }

  // A store over a file with the given text, written by another program.
  std::unique_ptr<QSettings> HandWritten(const QByteArray& text) {
    const QString path = Path(QStringLiteral("h%1.ini").arg(++files_));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
  }

  static QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
  }

  QTemporaryDir dir_;
  int files_ = 0;
};

TEST_F(SettingsStoreTest, TextsComeBackUnchanged) {
  const QString texts[] = {
      "",
      "two\r\nlines\r\n",
      "lone\nfeed and lone\rreturn",
      "  leading and trailing blanks  ",
      "\"quoted\" and 'single'",
      "\"",
      "semi;colon",
      "equals=sign",
      "a,b",
      "comma, blank",
      ",",
      "@leading at",
      "@String(looks typed)",
      "back\\slash \\\\ C:\\m\\x.eml",
      "trailing backslash\\",
      QString::fromUtf8("Gr\u00fc\u00dfe \u65e5\u672c \u20ac \u00a0nbsp \U0001F600"),
      "tab\there",
      "#not a comment",
      "[not a section]",
      "true",
  };
  for (const QString& text : texts) EXPECT_EQ(RoundTrip(text), text) << text.toStdString();
}

TEST_F(SettingsStoreTest, ValuesThatDoNotConvertCountAsMissing) {
  {
    auto settings = HandWritten(
        "[Messages]\nUseFile=false\nUseText=TRUE\nSendRaw=0\n"
        "[Addition]\nUseFile=yes\nUseText=1\nSendRaw=x\n"
        "[Removal]\nUseFile=\" True \"\nUseText=\nSendRaw=7\n"
        "[Setup]\nLimitRecipientsPerMessage=abc\nCopyMessages=-1\n");
    SettingsStore store(*settings);
    const MessageDefinition messages = ReadMessageDefinition(store, "Messages");
    EXPECT_FALSE(messages.UseFile);
    EXPECT_TRUE(messages.UseText);
    EXPECT_EQ(messages.SendRaw, kUnchecked);

    const MessageDefinition addition = ReadMessageDefinition(store, "Addition");
    EXPECT_TRUE(addition.UseFile);
    EXPECT_FALSE(addition.UseText);
    EXPECT_EQ(addition.SendRaw, kChecked);

    const MessageDefinition removal = ReadMessageDefinition(store, "Removal");
    EXPECT_TRUE(removal.UseFile);
    EXPECT_FALSE(removal.UseText);
    EXPECT_EQ(removal.SendRaw, kChecked);

    const SetupSettings setup = ReadSetupSettings(store);
    EXPECT_EQ(setup.LimitRecipientsPerMessage, kUnchecked);
    EXPECT_EQ(setup.CopyMessages, kChecked);
  }
  {
    auto settings = HandWritten("[Setup]\nLimitRecipientsPerMessage=2\nCopyMessages= 0 \n");
    SettingsStore store(*settings);
    const SetupSettings setup = ReadSetupSettings(store);
    EXPECT_EQ(setup.LimitRecipientsPerMessage, kGrayed);
    EXPECT_EQ(setup.CopyMessages, kUnchecked);
  }
}

TEST_F(SettingsStoreTest, FlushReportsAFailedWriteAfterADamagedFile) {
  const QString folder = Path("store");
  const QString file = folder + "/Verdanpost Console.ini";
  const auto damaged = [&] {
    EXPECT_TRUE(QDir().mkpath(folder));
    QFile out(file);
    EXPECT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("[Removal]\nSubject=farewell\nno equals sign here\n");
  };
  {
    // The damaged file is read as far as it goes and then rewritten whole.
    damaged();
    QSettings settings(file, QSettings::IniFormat);
    SettingsStore store(settings);
    EXPECT_EQ(store.Read("Removal", "Subject"), "farewell");
    store.Write("Messages", "Subject", "news");
    EXPECT_EQ(store.Flush(), std::nullopt);
  }
  {
    QSettings settings(file, QSettings::IniFormat);
    EXPECT_EQ(SettingsStore(settings).Read("Messages", "Subject"), "news");
  }
  ASSERT_TRUE(QDir(folder).removeRecursively());
  {
    // The same, but the file's folder is gone (a plain file stands in its
    // place) by the time the values are written.
    damaged();
    QSettings settings(file, QSettings::IniFormat);
    SettingsStore store(settings);
    EXPECT_EQ(store.Read("Removal", "Subject"), "farewell");
    ASSERT_TRUE(QDir(folder).removeRecursively());
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    store.Write("Messages", "Subject", "news");
    EXPECT_EQ(store.Flush(),
              QStringLiteral("The settings could not be saved: %1 cannot be written.").arg(file));
  }
}

TEST_F(SettingsStoreTest, UnreadableFileIsReportedAndLeftAlone) {
  {
    // A folder where the file should be.
    const QString path = Path("folder.ini");
    ASSERT_TRUE(QDir().mkpath(path + "/inside"));
    QSettings settings(path, QSettings::IniFormat);
    SettingsStore store(settings);
    EXPECT_EQ(store.CheckFile(), settings_texts::CannotBeRead(path, {"it is a folder"}));
    EXPECT_EQ(store.Read("Messages", "Subject", "default"), "default");
    // The run goes on in memory: what is written is read back, not saved.
    store.Write("Messages", "Subject", "kept for this run");
    EXPECT_EQ(store.Read("Messages", "Subject"), "kept for this run");
    EXPECT_EQ(store.Flush(), std::nullopt);
    EXPECT_TRUE(QFileInfo(path).isDir());
    EXPECT_EQ(QDir(path).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"inside"});
  }
}

// A file without read permission; root reads it all the same.
TEST_F(SettingsStoreTest, FileWithoutReadPermissionIsReportedAndLeftAlone) {
  const QByteArray text = "[Messages]\nSubject=precious\n";
  auto settings = HandWritten(text);
  const QString path = settings->fileName();
  settings.reset();
  ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::WriteOwner));
  if (QFile readable(path); readable.open(QIODevice::ReadOnly)) {
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    GTEST_SKIP() << "files without read permission can still be read by this user";
  }
  settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
  SettingsStore store(*settings);
  const std::optional<QString> report = store.CheckFile();
  ASSERT_TRUE(report.has_value());
  EXPECT_TRUE(report->startsWith(QStringLiteral("The settings file %1 cannot be read: ").arg(path)))
      << report->toStdString();
  store.Write("Messages", "Subject", "overwritten?");
  EXPECT_EQ(store.Flush(), std::nullopt);
  settings.reset();
  ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
  EXPECT_EQ(Contents(path), text);
}

TEST_F(SettingsStoreTest, DamagedFileIsCopiedAsideAndReadAsFarAsItGoes) {
  const QByteArray swallowed =
      "[Messages]\nSubject=\"Hello\nMessageText=body\n[Setup]\nFromName=Ann\n";
  {
    // An unclosed quote ran the rest of the file into one value.
    auto settings = HandWritten(swallowed);
    const QString path = settings->fileName();
    SettingsStore store(*settings);
    EXPECT_EQ(store.CheckFile(),
              settings_texts::DamagedCopyKept(
                  path,
                  {"the double quote on line 2 is not closed on that line, so the lines after it "
                   "were read as part of one value"},
                  path + ".bak"));
    EXPECT_EQ(Contents(path + ".bak"), swallowed);
    EXPECT_EQ(store.Read("Setup", "FromName"), "");  // what could be read
    store.Write("Setup", "FromName", "Ann again");
    EXPECT_EQ(store.Flush(), std::nullopt);  // the file is written, the copy stays
    EXPECT_EQ(Contents(path + ".bak"), swallowed);
    // Opening the same damage again keeps the one copy; other damage gets a new one.
    const QString again = Path("again.ini");
    ASSERT_TRUE(QFile::copy(path + ".bak", again));
    ASSERT_TRUE(QFile::copy(path + ".bak", again + ".bak"));
    QSettings same(again, QSettings::IniFormat);
    EXPECT_TRUE(SettingsStore(same).CheckFile()->contains(again + ".bak."));
    QFile other(again);
    ASSERT_TRUE(other.open(QIODevice::WriteOnly | QIODevice::Truncate));
    other.write("[Setup]\nToName=\"Bob\n\n");
    other.close();
    QSettings changed(Path("again.ini"), QSettings::IniFormat);
    EXPECT_TRUE(SettingsStore(changed).CheckFile()->contains(again + ".2.bak."));
    EXPECT_EQ(Contents(again + ".bak"), swallowed);
  }
  {
    // Text that is not UTF-8, and a line that is no setting, are damage too.
    const QByteArray text = "[Setup]\nFromName=Jos\xe9\nthis line has no equals sign\n";
    auto settings = HandWritten(text);
    const QString path = settings->fileName();
    SettingsStore store(*settings);
    EXPECT_EQ(store.CheckFile(), settings_texts::DamagedCopyKept(
                                     path,
                                     {"line 2 holds bytes that are not UTF-8 text",
                                      "some of its lines are neither [Section] nor Key=Value"},
                                     path + ".bak"));
    EXPECT_EQ(Contents(path + ".bak"), text);
  }
}

TEST_F(SettingsStoreTest, HandWrittenCommaListIsOneText) {
  auto settings = HandWritten("[Messages]\nSubject=Hello, world\n");
  EXPECT_EQ(SettingsStore(*settings).Read("Messages", "Subject"), "Hello, world");
}

}  // namespace
}  // namespace verdanpost
