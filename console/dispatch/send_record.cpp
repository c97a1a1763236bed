#include "console/dispatch/send_record.h"

#include <QDir>

#include "console/dispatch/write_all.h"

#include "platform/xdg_paths.h"

namespace verdanpost {

namespace {

// The time with its offset from UTC, to the millisecond, so that rows sort
// and compare across a change of the clocks.
QString Timestamp(const QDateTime& time) {
  return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

}  // namespace

QString SendRecordFolder() {
  return QFile::decodeName(XdgDataHome().c_str()) + QStringLiteral("/verdanpost/sends");
}

QString CsvField(const QString& text) {
  static const QString kSpecial = QStringLiteral(",\"\r\n");
  bool quote = !text.isEmpty() && (text.front() == ' ' || text.back() == ' ');
  for (QChar c : text) quote = quote || kSpecial.contains(c);
  if (!quote) return text;
  QString quoted = text;
  quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return '"' + quoted + '"';
}

bool SendRecord::Create(const QString& folder, const QDateTime& start, QString* err) {
  // Subscribers' addresses and the servers' words: for the owner alone, the
  // folder (also one left by an older version) as each file.
  const QFileDevice::Permissions owner_only = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
  if (!QDir().mkpath(folder) ||
      !QFile::setPermissions(folder, owner_only | QFileDevice::ExeOwner)) {
    *err = QStringLiteral("Cannot create the folder \"%1\"").arg(folder);
    return false;
  }
  const QString stem = QDir(folder).filePath(start.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")));
  for (int n = 1;; ++n) {
    path_ = n == 1 ? stem + QStringLiteral(".csv") : QStringLiteral("%1_%2.csv").arg(stem).arg(n);
    file_.setFileName(path_);
    // NewOnly: two sends never share a file, even when they start together.
    if (file_.open(QIODevice::WriteOnly | QIODevice::NewOnly, owner_only)) break;
    if (!file_.exists() || n == 1000) {
      *err = QStringLiteral("Cannot create the file \"%1\": %2").arg(path_, file_.errorString());
      return false;
    }
  }
  if (Write({QStringLiteral("Message"), QStringLiteral("Recipient"), QStringLiteral("Ended"),
             QStringLiteral("ErrorCode"), QStringLiteral("ServerReply")},
            err)) {
    return true;
  }
  // No record is better than an empty one that names no send.
  file_.close();
  QFile::remove(path_);
  return false;
}

bool SendRecord::AddRow(int number, const QString& recipient, const QDateTime& ended, int32_t code,
                        const QString& reply, QString* err) {
  return Write({QString::number(number), recipient, Timestamp(ended), QString::number(code), reply},
               err);
}

bool SendRecord::Write(const QStringList& fields, QString* err) {
  QStringList quoted;
  for (const QString& field : fields) quoted << CsvField(field);
  const QByteArray row = (quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8();
  QString why;
  if (!WriteAll(file_, row, &why)) {
    *err = QStringLiteral("Cannot write the file \"%1\": %2").arg(path_, why);
    return false;
  }
  return true;
}

}  // namespace verdanpost
