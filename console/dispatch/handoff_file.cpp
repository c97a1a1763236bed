#include "console/dispatch/handoff_file.h"

#include <QFile>
#include <QSaveFile>

#include "console/dispatch/operator_texts.h"

namespace verdanpost {

QString HandoffPath(const QString& message_file) { return message_file + ".tempfile"; }

bool WriteHandoffFile(const QString& message_file, const QByteArray& header_lines, QString* err) {
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

  const QString path = HandoffPath(message_file);
  QSaveFile handoff(path);
  // Where the folder cannot take a temporary file but the hand-off file
  // itself is writable, write it in place as a plain overwrite would.
  handoff.setDirectWriteFallback(true);
  if (!handoff.open(QIODevice::WriteOnly)) {
    *err = FileNotWritten(path, handoff.errorString());
    return false;
  }
  handoff.write(header_lines);
  handoff.write(text);
  handoff.write("\r\n");
  if (!handoff.commit()) {
    *err = FileNotWritten(path, handoff.errorString());
    return false;
  }
  return true;
}

}  // namespace verdanpost
