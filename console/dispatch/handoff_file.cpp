#include "console/dispatch/handoff_file.h"

#include <QFile>
#include <QSaveFile>

#include "console/dispatch/control_characters.h"
#include "console/dispatch/operator_texts.h"

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

  QSaveFile handoff(path);
  // Where the folder cannot take a temporary file but the hand-off file
  // itself is writable, write it in place as a plain overwrite would.
  handoff.setDirectWriteFallback(true);
  if (!handoff.open(QIODevice::WriteOnly)) {
    *err = FileNotWritten(path, handoff.errorString());
    return false;
  }
  handoff.write(header);
  handoff.write(text);
  handoff.write("\r\n");
  if (!handoff.commit()) {
    *err = FileNotWritten(path, handoff.errorString());
    return false;
  }
  return true;
}

}  // namespace verdanpost
