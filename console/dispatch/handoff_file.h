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
// LF. The file is made anew, readable by its owner alone (mode 0600); the
// caller removes it with RemoveHandoffFile once the mailer has read it. A
// header line holding a line break or another control character is refused
// before anything is read or written: it would end its field and start
// another of the data's choosing; so is a message file that CheckRawMessage
// refuses. false with *err naming the file that could not be read or
// written, or the refusal.
bool WriteHandoffFile(const QString& message_file, const QStringList& header_lines, QString* err);

// Removes the hand-off file of `message_file`, quietly.
void RemoveHandoffFile(const QString& message_file);

// Whether `text`, a whole message file, can go out with its own header: its
// first line is a header field (it holds a colon) and its header (up to the
// first empty line) has a From line with a value. Whatever lines the console
// inserts ahead of it, the mailer would otherwise send it with no sender.
// false with *err kNoHeader or kNoFromLine.
bool CheckRawMessage(const QByteArray& text, QString* err);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_HANDOFF_FILE_H_
