#include "console/dispatch/send_record.h"

#include <map>

#include <QDir>
#include <QFileInfo>

#include "console/dispatch/write_all.h"
#include "console/mailinglist/csv_file.h"

#include "platform/xdg_paths.h"

namespace verdanpost {

namespace {

QByteArray RowBytes(const QStringList& fields) {
  QStringList quoted;
  for (const QString& field : fields) quoted << CsvField(field);
  return (quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8();
}

QStringList RowFields(int number, const QString& recipient, const QDateTime& ended, int32_t code,
                      const QString& reply) {
  return {QString::number(number), recipient, RecordTimestamp(ended), QString::number(code), reply};
}

}  // namespace

std::vector<RecordRow> ReadSendRecord(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray text = file.readAll();
  // Rows end in CR LF: a last row without one was cut short.
  const qsizetype whole = text.lastIndexOf('\n') + 1;
  mailinglist::CsvReader reader(std::string_view(text.constData(), static_cast<size_t>(whole)),
                                ',');
  std::vector<RecordRow> rows;
  mailinglist::CsvRecord record;
  std::string err;
  for (bool header = true; reader.Next(&record, &err); header = false) {
    if (header || record.fields.size() != 5) continue;
    const auto field = [&record](size_t i) { return QString::fromStdString(record.fields[i]); };
    bool number_ok = false;
    bool code_ok = false;
    RecordRow row{field(0).toInt(&number_ok), field(1),
                  QDateTime::fromString(field(2), Qt::ISODateWithMs), field(3).toInt(&code_ok),
                  field(4)};
    if (number_ok && code_ok && row.ended.isValid()) rows.push_back(std::move(row));
  }
  return rows;
}

bool AppendToSendRecord(const QString& path, const std::vector<RecordRow>& rows, QString* err) {
  QByteArray bytes;
  {
    // A row the program was writing when it ended is closed first, so the
    // new rows stand on lines of their own.
    QFile tail(path);
    if (tail.open(QIODevice::ReadOnly) && tail.size() > 0 && tail.seek(tail.size() - 1) &&
        tail.read(1) != "\n") {
      bytes += "\r\n";
    }
  }
  for (const RecordRow& row : rows) {
    bytes += RowBytes(RowFields(row.number, row.recipient, row.ended, row.code, row.reply));
  }
  QFile file(path);
  QString why;
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
    why = file.errorString();
  } else if (WriteAll(file, bytes, &why)) {
    return true;
  }
  *err = QStringLiteral("Cannot write the file \"%1\": %2").arg(path, why);
  return false;
}

std::vector<SentMessage> ReadSendHistory(const QString& folder, const QDateTime& since) {
  std::vector<SentMessage> history;
  const QFileInfoList files =
      QDir(folder).entryInfoList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
  for (const QFileInfo& info : files) {
    // A record not written to since then holds nothing newer.
    if (info.lastModified() <= since) continue;
    std::map<int, SentMessage> messages;
    for (const RecordRow& row : ReadSendRecord(info.filePath())) {
      SentMessage& message = messages[row.number];
      if (!message.at.isValid() || message.at < row.ended) message.at = row.ended;
      if (row.code == 0) ++message.recipients;
    }
    for (const auto& [number, message] : messages) {
      if (message.at > since) history.push_back(message);
    }
  }
  return history;
}

QString RecordTimestamp(const QDateTime& time) {
  return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

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

void SendRecord::Discard() {
  file_.close();
  QFile::remove(path_);
}

bool SendRecord::AddRow(int number, const QString& recipient, const QDateTime& ended, int32_t code,
                        const QString& reply, QString* err) {
  return Write(RowFields(number, recipient, ended, code, reply), err);
}

bool SendRecord::Write(const QStringList& fields, QString* err) {
  QString why;
  if (!WriteAll(file_, RowBytes(fields), &why)) {
    *err = QStringLiteral("Cannot write the file \"%1\": %2").arg(path_, why);
    return false;
  }
  return true;
}

}  // namespace verdanpost
