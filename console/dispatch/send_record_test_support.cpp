#include "console/dispatch/send_record_test_support.h"

#include <gtest/gtest.h>
#include <QFile>

namespace verdanpost::testing_support {

// Splits CSV text into rows of fields, the way a spreadsheet reads it.
std::vector<QStringList> ParseCsv(const QString& text) {
  std::vector<QStringList> rows;
  QStringList row;
  QString field;
  bool quoted = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row << field;
      field.clear();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      row << field;
      field.clear();
      rows.push_back(row);
      row.clear();
      ++i;
    } else {
      field += c;
    }
  }
  EXPECT_TRUE(field.isEmpty() && row.isEmpty()) << "the last row has no line end";
  return rows;
}

std::vector<QStringList> ReadCsv(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
  return ParseCsv(QString::fromUtf8(file.readAll()));
}

}  // namespace verdanpost::testing_support
