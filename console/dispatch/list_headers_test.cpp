// The headers that mark a bulk send's messages as a list's, and the switch
// that turns them off.

#include "console/dispatch/list_headers.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace verdanpost {
namespace {

TEST(ListHeadersTest, LinesComeFromTheOwnersNameAndAddress) {
  EXPECT_EQ(ListHeaderLines("News Desk", "news@example.org"),
            QStringList({"List-Id: \"News Desk\" <news.example.org>",
                         "List-Unsubscribe: <mailto:news@example.org?subject=unsubscribe>"}));
  // A name that cannot stand in the phrase as it is: escaped, or left out.
  EXPECT_EQ(ListHeaderLines("Say \"hi\" \\o/", "n@x.org").front(),
            "List-Id: \"Say \\\"hi\\\" \\\\o/\" <n.x.org>");
  EXPECT_EQ(ListHeaderLines("", "n@x.org").front(), "List-Id: <n.x.org>");
  EXPECT_EQ(ListHeaderLines("Bücher", "n@x.org").front(), "List-Id: <n.x.org>");
  EXPECT_EQ(ListHeaderLines("Two\nlines", "n@x.org").front(), "List-Id: <n.x.org>");
  // No address to name the list by: no lines at all.
  for (const char* email :
       {"", "news", "@x.org", "n@", "a b@x.org", "n@x.org?x", "n\r@x.org", "b\xc3\xbc@x.org"}) {
    EXPECT_TRUE(ListHeaderLines("News", QString::fromUtf8(email)).isEmpty()) << email;
  }
}

TEST(ListHeadersTest, TheSettingsFileCanTurnThemOff) {
  QTemporaryDir dir;
  QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
  EXPECT_TRUE(ListHeadersWanted(settings));
  for (const char* off : {"false", "FALSE", "0", "no", " off "}) {
    settings.setValue("Setup/ListHeaders", off);
    EXPECT_FALSE(ListHeadersWanted(settings)) << off;
  }
  settings.setValue("Setup/ListHeaders", "true");
  EXPECT_TRUE(ListHeadersWanted(settings));
}

TEST(ListHeadersTest, AFileKeepsTheFieldsItHas) {
  QTemporaryDir dir;
  const QStringList lines = ListHeaderLines("N", "n@x.org");
  const auto write = [&dir](const QByteArray& content) {
    QFile file(dir.filePath("m.eml"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    return file.fileName();
  };
  EXPECT_EQ(FieldsNotInFile(lines, write("From: a@x\r\nSubject: s\r\n\r\nList-Id: body\r\n")),
            lines);
  EXPECT_EQ(FieldsNotInFile(lines, write("LIST-UNSUBSCRIBE: <mailto:x>\nSubject: s\n\nb\n")),
            QStringList({lines[0]}));
  // A folded line is not a field of its own.
  EXPECT_EQ(FieldsNotInFile(lines, write("Subject: s\r\n List-Id: no\r\n\r\n")), lines);
  EXPECT_EQ(FieldsNotInFile(lines, dir.filePath("missing.eml")), lines);
}

}  // namespace
}  // namespace verdanpost
