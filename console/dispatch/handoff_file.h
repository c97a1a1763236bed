#ifndef VERDANPOST_CONSOLE_DISPATCH_HANDOFF_FILE_H_
#define VERDANPOST_CONSOLE_DISPATCH_HANDOFF_FILE_H_

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace verdanpost {

// The file handed to the mailer for a raw send: beside the message file,
// named after its whole path plus ".tempfile".
QString HandoffPath(const QString& message_file);

// Replaces the hand-off file of `message_file` with `header_lines`, each
// ended by CR LF, then the message file's bytes unchanged, then one more CR
// LF. The file stays on disk for the mailer and is replaced by the next raw
// send of the same message file. A header line holding a line break or
// another control character is refused before anything is read or written:
// it would end its field and start another of the data's choosing. false
// with *err naming the file that could not be read or written.
bool WriteHandoffFile(const QString& message_file, const QStringList& header_lines, QString* err);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_HANDOFF_FILE_H_
