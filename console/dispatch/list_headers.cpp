#include "console/dispatch/list_headers.h"

#include <QFile>
#include <QSettings>

namespace verdanpost {

namespace {

bool PrintableAscii(const QString& text) {
  for (QChar c : text) {
    if (c.unicode() < 0x20 || c.unicode() > 0x7E) return false;
  }
  return true;
}

bool UsableAddress(const QString& email) {
  const qsizetype at = email.lastIndexOf('@');
  if (at <= 0 || at == email.size() - 1 || !PrintableAscii(email)) return false;
  for (QChar c : QStringLiteral(" <>?\"")) {
    if (email.contains(c)) return false;
  }
  return true;
}

QString FieldName(const QString& line) { return line.left(line.indexOf(':')).trimmed(); }

}  // namespace

QStringList ListHeaderLines(const QString& to_name, const QString& to_email) {
  if (!UsableAddress(to_email)) return {};
  QString id = to_email;
  id[id.lastIndexOf('@')] = '.';
  QString list_id = '<' + id + '>';
  if (!to_name.isEmpty() && PrintableAscii(to_name)) {
    QString name = to_name;
    name.replace('\\', QStringLiteral("\\\\")).replace('"', QStringLiteral("\\\""));
    list_id = '"' + name + "\" " + list_id;
  }
  return {"List-Id: " + list_id, "List-Unsubscribe: <mailto:" + to_email + "?subject=unsubscribe>"};
}

bool ListHeadersWanted(QSettings& settings) {
  const QString value =
      settings.value(QStringLiteral("Setup/ListHeaders")).toString().trimmed().toLower();
  return value != "false" && value != "0" && value != "no" && value != "off";
}

bool ListHeadersWanted() {
  QSettings settings(QSettings::IniFormat, QSettings::UserScope,
                     QStringLiteral("Verdanpost Console"));
  return ListHeadersWanted(settings);
}

QStringList FieldsNotInFile(const QStringList& lines, const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return lines;
  QStringList own;
  // The header ends at the first empty line; a long one is read no further
  // than it takes to find it.
  while (!file.atEnd()) {
    QString line = QString::fromUtf8(file.readLine(64 * 1024));
    while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
    if (line.isEmpty()) break;
    // A folded line continues the field before it.
    if (line.contains(':') && !line.front().isSpace()) own << FieldName(line).toLower();
  }
  QStringList missing;
  for (const QString& line : lines) {
    if (!own.contains(FieldName(line).toLower())) missing << line;
  }
  return missing;
}

}  // namespace verdanpost
