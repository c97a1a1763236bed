#ifndef VERDANPOST_CONSOLE_SETTINGS_SETTINGS_FILE_H_
#define VERDANPOST_CONSOLE_SETTINGS_SETTINGS_FILE_H_

#include <optional>

#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace verdanpost {

// What is wrong with a settings file that exists, found before the console
// uses it: either it cannot be read at all, or it reads but part of it
// would be lost once the console writes the file back.
struct SettingsFileTrouble {
  enum class Kind { kUnreadable, kDamaged };
  Kind kind;
  QStringList reasons;  // for the operator, e.g. "it is a folder"
};

// Looks at the INI file at `path`. nullopt when it is missing or whole.
std::optional<SettingsFileTrouble> InspectSettingsFile(const QString& path);

// The 1-based line on which a double-quoted text starts that runs on past
// the end of its line, taking the following lines in as part of one value.
// The console never writes that: it writes line breaks as escapes.
std::optional<int> FindQuoteSpanningLines(QByteArrayView ini);

// The 1-based line of the first bytes that are not UTF-8.
std::optional<int> FindInvalidUtf8(QByteArrayView text);

// Copies the file at `path` beside it, as PATH.bak (PATH.2.bak, PATH.3.bak
// ... when that name holds something else). Returns the copy's path, or
// sets *err and returns nullopt.
std::optional<QString> KeepCopy(const QString& path, QString* err);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_SETTINGS_SETTINGS_FILE_H_
