#include "console/dispatch/send_record_test_support.h"

#include <gtest/gtest.h>
#include <QFile>

#include "console/mailinglist/csv_file.h"

namespace verdanpost::testing_support {

std::vector<QStringList> ParseCsv(const QString& text) {
  EXPECT_TRUE(text.isEmpty() || text.endsWith("\r\n")) << "the last row has no line end";
  const std::string bytes = text.toStdString();
  mailinglist::CsvReader reader(bytes, ',');
  std::vector<QStringList> rows;
  mailinglist::CsvRecord record;
  std::string err;
  while (reader.Next(&record, &err)) {
    QStringList row;
    for (const std::string& field : record.fields) row << QString::fromStdString(field);
    rows.push_back(row);
  }
  EXPECT_EQ(err, "");
  return rows;
}

std::vector<QStringList> ReadCsv(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
  return ParseCsv(QString::fromUtf8(file.readAll()));
}

}  // namespace verdanpost::testing_support
