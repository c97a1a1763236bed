#include "console/settings/settings_file.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace verdanpost {
namespace {

// Whether the INI reader took a line break into one of the values of `ini`.
bool ReaderSwallowedLines(const QByteArray& ini) {
  const QTemporaryDir dir;
  const QString path = dir.filePath("probe.ini");
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(ini);
  file.close();
  const QSettings settings(path, QSettings::IniFormat);
  for (const QString& key : settings.allKeys()) {
    const QString value = settings.value(key).toString();
    if (value.contains('\n') || value.contains('\r')) return true;
  }
  return false;
}

TEST(FindQuoteSpanningLinesTest, FindsExactlyWhatTheReaderRunsTogether) {
  struct Case {
    QByteArray ini;
    std::optional<int> line;
  };
  const Case cases[] = {
      {"[Messages]\nSubject=\"Hello\nMessageText=body\n[Setup]\nFromName=Ann\n", 2},
      {"[Messages]\r\nFileName=x\r\nSubject=say \"hi\r\n[Setup]\r\n", 3},
      {"[Setup]\nFromName=Ann\n\n\nToName=\"Bob\n", 5},
      {"[Messages]\nSubject=\"a \\\" b\nMessageText=c\n", 2},  // an escaped quote closes nothing
      {"[Messages]\nSubject=\"balanced\"\nMessageText=\"also \\\"inner\\\" balanced\"\n", {}},
      {"[Messages]\n; a comment with one \" quote\nSubject=s\n", {}},
      {"[Messages]\nSubject=s ; trailing comment \"x\nMessageText=t\n", {}},
      {"[Messages]\nSubject=\"continued \\\nline\"\nMessageText=t\n", {}},
      {"[Messages]\nSubject=no quotes at all\n", {}},
      {"[Messages]\nSubject=\"ends at the end of the file", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini.toStdString());
    EXPECT_EQ(FindQuoteSpanningLines(c.ini), c.line);
    // The finder follows the reader's own rules.
    if (c.ini.endsWith('\n')) {
      EXPECT_EQ(ReaderSwallowedLines(c.ini), c.line.has_value());
    }
  }
}

TEST(FindQuoteSpanningLinesTest, NothingTheStoreWritesIsFlagged) {
  const QTemporaryDir dir;
  const QString path = dir.filePath("written.ini");
  {
    QSettings settings(path, QSettings::IniFormat);
    const QString texts[] = {"two\r\nlines\r\n",   "\"", "lone \" quote\nand a break",
                             "back\\slash\\",      ";",  "semi;colon \"in\" quotes",
                             "\"\r\n\"\r\n\"\r\n", "=",  "[not a section]\r\n\"x"};
    int n = 0;
    for (const QString& text : texts)
      settings.setValue(QStringLiteral("Messages/K%1").arg(++n), text);
    settings.sync();
    ASSERT_EQ(settings.status(), QSettings::NoError);
  }
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray ini = file.readAll();
  EXPECT_EQ(FindQuoteSpanningLines(ini), std::nullopt) << ini.toStdString();
  EXPECT_EQ(InspectSettingsFile(path), std::nullopt);
}

TEST(FindInvalidUtf8Test, NamesTheFirstBadLine) {
  EXPECT_EQ(FindInvalidUtf8("[Setup]\nFromName=Gr\xc3\xbc\xc3\x9f"
                            "e \xe2\x82\xac \xf0\x9f\x98\x80\n"),
            std::nullopt);
  EXPECT_EQ(FindInvalidUtf8("[Setup]\nFromName=caf\xe9\nToName=\xff\n"), 2);
  EXPECT_EQ(FindInvalidUtf8("[Setup]\n\nFromName=\xc0\xaf\n"), 3);  // overlong "/"
  EXPECT_EQ(FindInvalidUtf8("[Setup]\nFromName=cut short \xe2\x82"), 2);
  EXPECT_EQ(FindInvalidUtf8(""), std::nullopt);
}

}  // namespace
}  // namespace verdanpost
