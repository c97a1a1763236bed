#include "console/dispatch/handoff_file.h"

#include <QFile>

#include "console/dispatch/control_characters.h"
#include "console/dispatch/operator_texts.h"
#include "console/dispatch/write_all.h"

namespace verdanpost {

QString HandoffPath(const QString& message_file) { return message_file + ".tempfile"; }

bool WriteHandoffFile(const QString& message_file, const QStringList& header_lines, QString* err) {
  const QString path = HandoffPath(message_file);
  QByteArray header;
  for (const QString& line : header_lines) {
    if (HoldsControlCharacter(line)) {
      *err = FileNotWritten(path, HeaderLineBroken(line.section(':', 0, 0)));
      return false;
    }
    header += line.toUtf8() + "\r\n";
  }

  QFile message(message_file);
  if (!message.open(QIODevice::ReadOnly)) {
    *err = MessageFileNotRead(message_file, message.errorString());
    return false;
  }
  const QByteArray text = message.readAll();
  if (message.error() != QFileDevice::NoError) {
    *err = MessageFileNotRead(message_file, message.errorString());
    return false;
  }
  message.close();
  if (!CheckRawMessage(text, err)) return false;

  // It holds subscribers' addresses: made anew for the owner alone, never
  // written through a file (or a link) someone else left at its name.
  QFile handoff(path);
  if (handoff.exists() && !handoff.remove()) {
    *err = FileNotWritten(path, handoff.errorString());
    return false;
  }
  if (!handoff.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                    QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
    *err = FileNotWritten(path, handoff.errorString());
    return false;
  }
  const QByteArray content = header + text + "\r\n";
  QString why;
  if (!WriteAll(handoff, content, &why)) {
    *err = FileNotWritten(path, why);
    handoff.close();
    QFile::remove(path);
    return false;
  }
  handoff.close();
  return true;
}

void RemoveHandoffFile(const QString& message_file) { QFile::remove(HandoffPath(message_file)); }

bool CheckRawMessage(const QByteArray& text, QString* err) {
  bool first = true;
  for (qsizetype start = 0; start <= text.size();) {
    qsizetype end = text.indexOf('\n', start);
    if (end < 0) end = text.size();
    QByteArray line = text.mid(start, end - start);
    if (line.endsWith('\r')) line.chop(1);
    if (line.isEmpty()) break;  // the header ends at the first empty line
    if (first && !line.contains(':')) {
      *err = kMessageFileHasNoHeader;
      return false;
    }
    first = false;
    if (line.left(5).toLower() == "from:" && !line.mid(5).trimmed().isEmpty()) return true;
    start = end + 1;
  }
  *err = first ? kMessageFileHasNoHeader : kNoFromLine;
  return false;
}

}  // namespace verdanpost
