#ifndef VERDANPOST_CONSOLE_SETTINGS_SETTINGS_STORE_H_
#define VERDANPOST_CONSOLE_SETTINGS_SETTINGS_STORE_H_

#include <optional>

#include <QHash>
#include <QString>

#include "console/settings/message_definition.h"

class QSettings;

namespace verdanpost {

// String values by section and key over a QSettings object, with the
// console's encodings of Booleans and check states. *settings must outlive
// the store.
class SettingsStore {
 public:
  explicit SettingsStore(QSettings& settings);
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // The stored text, or `default_value` when the key or its section is missing.
  QString Read(const QString& section, const QString& key,
               const QString& default_value = QString()) const;
  // "True"/"False" in any letter case; anything else counts as missing, and
  // `default_text` (itself such a text) applies.
  bool ReadBoolean(const QString& section, const QString& key, const QString& default_text) const;
  // A decimal check state 0, 1 or 2; anything else counts as missing.
  CheckState ReadCheckState(const QString& section, const QString& key,
                            const QString& default_text) const;

  void Write(const QString& section, const QString& key, const QString& value);
  void WriteBoolean(const QString& section, const QString& key, bool value);  // "True"/"False"
  void WriteCheckState(const QString& section, const QString& key, CheckState state);  // decimal

  // Looks at the file before the values are used. A file that cannot be
  // read, or is damaged and cannot be copied aside, is left alone from then
  // on (see KeepOffDisk); a damaged one is first copied to PATH.bak. Returns
  // the text to show the operator, or nullopt when the file is missing or
  // whole.
  std::optional<QString> CheckFile();

  // Writes pending values to disk; the text to show the operator when that failed.
  std::optional<QString> Flush();

 private:
  // From now on the file is neither read again nor written: values written
  // are kept for this run only, and Flush() writes nothing.
  void KeepOffDisk() { off_disk_ = true; }

  QSettings& settings_;
  bool off_disk_ = false;
  QHash<QString, QString> this_run_;  // values written while off disk, by key path
};

// The conversions of stored texts; nullopt when the text does not convert.
std::optional<bool> ParseBoolean(const QString& text);
std::optional<CheckState> ParseCheckState(const QString& text);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_SETTINGS_SETTINGS_STORE_H_
