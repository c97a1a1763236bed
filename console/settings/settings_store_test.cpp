#include "console/settings/settings_store.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "console/settings/message_definition.h"

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

TEST_F(SettingsStoreTest, HandWrittenCommaListIsOneText) {
  auto settings = HandWritten("[Messages]\nSubject=Hello, world\n");
  EXPECT_EQ(SettingsStore(*settings).Read("Messages", "Subject"), "Hello, world");
}

}  // namespace
}  // namespace verdanpost
