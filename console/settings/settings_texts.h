#ifndef VERDANPOST_CONSOLE_SETTINGS_SETTINGS_TEXTS_H_
#define VERDANPOST_CONSOLE_SETTINGS_SETTINGS_TEXTS_H_

#include <QDir>
#include <QString>
#include <QStringList>

namespace verdanpost::settings_texts {

// Every text the settings store shows the operator. Paths are shown in the
// platform's own form.

inline QString CannotBeWritten(const QString& path) {
  return QStringLiteral("The settings could not be saved: %1 cannot be written.")
      .arg(QDir::toNativeSeparators(path));
}

inline QString CannotBeRead(const QString& path, const QStringList& reasons) {
  return QStringLiteral(
             "The settings file %1 cannot be read: %2.\n\nThe window starts with the default "
             "settings and will not write over that file when it closes, so changes made now "
             "are not saved.")
      .arg(QDir::toNativeSeparators(path), reasons.join(QStringLiteral("; ")));
}

inline QString DamagedCopyKept(const QString& path, const QStringList& reasons,
                               const QString& copy) {
  return QStringLiteral(
             "The settings file %1 is damaged: %2.\n\nA copy of it is kept as %3. The window "
             "goes on with the settings that could be read; they replace the file when the "
             "window closes.")
      .arg(QDir::toNativeSeparators(path), reasons.join(QStringLiteral("; ")),
           QDir::toNativeSeparators(copy));
}

inline QString DamagedNoCopy(const QString& path, const QStringList& reasons, const QString& why) {
  return QStringLiteral(
             "The settings file %1 is damaged: %2.\n\nNo copy of it could be kept (%3), so the "
             "window goes on with the settings that could be read but will not write over the "
             "file when it closes: changes made now are not saved.")
      .arg(QDir::toNativeSeparators(path), reasons.join(QStringLiteral("; ")), why);
}

}  // namespace verdanpost::settings_texts

#endif  // VERDANPOST_CONSOLE_SETTINGS_SETTINGS_TEXTS_H_
