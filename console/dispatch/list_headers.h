#ifndef VERDANPOST_CONSOLE_DISPATCH_LIST_HEADERS_H_
#define VERDANPOST_CONSOLE_DISPATCH_LIST_HEADERS_H_

#include <QString>
#include <QStringList>

class QSettings;

namespace verdanpost {

// The header lines that mark a bulk send's messages as a list's, from the
// Setup page's To name and address (news@example.org):
//   List-Id: "To Name" <news.example.org>
//   List-Unsubscribe: <mailto:news@example.org?subject=unsubscribe>
// The name is left out of List-Id when it is empty, not ASCII, or holds a
// control character; a double quote or backslash in it is escaped. None
// when the address is not one ("local@domain", ASCII, no blank, no control
// character, no "<", ">" or "?").
QStringList ListHeaderLines(const QString& to_name, const QString& to_email);

// Whether the settings file asks for list headers: yes unless its "Setup"
// section holds ListHeaders=false (or 0, no, off; in any case).
bool ListHeadersWanted(QSettings& settings);

// The settings file of the console, as the window reads it.
bool ListHeadersWanted();

// Of `lines` ("Name: value"), those whose field the message file at `path`
// does not have in its header already (names compared in any case). All of
// them when the file cannot be read: the send then reports that itself.
QStringList FieldsNotInFile(const QStringList& lines, const QString& path);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_LIST_HEADERS_H_
