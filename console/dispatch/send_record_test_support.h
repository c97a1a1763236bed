#ifndef VERDANPOST_CONSOLE_DISPATCH_SEND_RECORD_TEST_SUPPORT_H_
#define VERDANPOST_CONSOLE_DISPATCH_SEND_RECORD_TEST_SUPPORT_H_

#include <vector>

#include <QString>
#include <QStringList>

namespace verdanpost::testing_support {

// Splits CSV text into rows of fields, the way a spreadsheet reads it.
std::vector<QStringList> ParseCsv(const QString& text);

// The rows of the CSV file at `path` (a failure when it cannot be read).
std::vector<QStringList> ReadCsv(const QString& path);

}  // namespace verdanpost::testing_support

#endif  // VERDANPOST_CONSOLE_DISPATCH_SEND_RECORD_TEST_SUPPORT_H_
