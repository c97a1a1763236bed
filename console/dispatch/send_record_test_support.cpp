#include "console/dispatch/send_record_test_support.h"

#include <gtest/gtest.h>
#include <QFile>

#include "console/dispatch/send_record.h"

namespace verdanpost::testing_support {

std::vector<QStringList> ParseCsv(const QString& text) {
  EXPECT_TRUE(text.isEmpty() || text.endsWith("\r\n")) << "the last row has no line end";
  return ParseCsvRows(text);
}

std::vector<QStringList> ReadCsv(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
  return ParseCsv(QString::fromUtf8(file.readAll()));
}

}  // namespace verdanpost::testing_support
