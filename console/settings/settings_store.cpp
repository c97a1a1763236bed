#include "console/settings/settings_store.h"

#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QVariant>

#include "console/settings/message_definition.h"
#include "console/settings/settings_file.h"
#include "console/settings/settings_texts.h"

namespace verdanpost {

namespace {

QString KeyPath(const QString& section, const QString& key) { return section + '/' + key; }

// Whether the INI file at `path` exists and reads whole.
bool ReadsCleanly(const QString& path) {
  const std::optional<SettingsFileTrouble> trouble = InspectSettingsFile(path);
  return QFileInfo::exists(path) && !trouble.has_value();
}

}  // namespace

std::optional<bool> ParseBoolean(const QString& text) {
  const QString t = text.trimmed();
  if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
  if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
  return std::nullopt;
}

std::optional<CheckState> ParseCheckState(const QString& text) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok, 10);
  for (const CheckState state : {kUnchecked, kChecked, kGrayed}) {
    if (ok && value == static_cast<int>(state)) return state;
  }
  return std::nullopt;
}

SettingsStore::SettingsStore(QSettings& settings) : settings_(settings) {}

QString SettingsStore::Read(const QString& section, const QString& key,
                            const QString& default_value) const {
  if (off_disk_) {
    const auto written = this_run_.constFind(KeyPath(section, key));
    if (written != this_run_.cend()) return *written;
  }
  const QVariant value = settings_.value(KeyPath(section, key));
  if (!value.isValid()) return default_value;
  // An INI value with unquoted commas comes back as a list. The console
  // always writes one string (quoted by QSettings), so such a list was
  // written by hand: put it back together rather than lose it.
  if (value.typeId() == QMetaType::QStringList)
    return value.toStringList().join(QLatin1String(", "));
  return value.toString();
}

bool SettingsStore::ReadBoolean(const QString& section, const QString& key,
                                const QString& default_text) const {
  return ParseBoolean(Read(section, key, default_text))
      .value_or(ParseBoolean(default_text).value_or(false));
}

CheckState SettingsStore::ReadCheckState(const QString& section, const QString& key,
                                         const QString& default_text) const {
  return ParseCheckState(Read(section, key, default_text))
      .value_or(ParseCheckState(default_text).value_or(kUnchecked));
}

void SettingsStore::Write(const QString& section, const QString& key, const QString& value) {
  if (off_disk_) {
    this_run_.insert(KeyPath(section, key), value);
  } else {
    settings_.setValue(KeyPath(section, key), value);
  }
}

void SettingsStore::WriteBoolean(const QString& section, const QString& key, bool value) {
  Write(section, key, value ? QStringLiteral("True") : QStringLiteral("False"));
}

void SettingsStore::WriteCheckState(const QString& section, const QString& key, CheckState state) {
  Write(section, key, QString::number(static_cast<int>(state)));
}

std::optional<QString> SettingsStore::CheckFile() {
  const QString path = settings_.fileName();
  const std::optional<SettingsFileTrouble> trouble = InspectSettingsFile(path);
  if (!trouble.has_value()) return std::nullopt;
  if (trouble->kind == SettingsFileTrouble::Kind::kUnreadable) {
    KeepOffDisk();
    return settings_texts::CannotBeRead(path, trouble->reasons);
  }
  QString err;
  if (const std::optional<QString> copy = KeepCopy(path, &err)) {
    return settings_texts::DamagedCopyKept(path, trouble->reasons, *copy);
  }
  KeepOffDisk();
  return settings_texts::DamagedNoCopy(path, trouble->reasons, err);
}

std::optional<QString> SettingsStore::Flush() {
  if (off_disk_) return std::nullopt;  // the operator was told when the file was checked
  settings_.sync();
  // A format error comes from reading a damaged file, which started from the
  // defaults; only a failed write is news for the operator. QSettings keeps
  // the first error it met, though: after a damaged file, a write that fails
  // leaves the status at FormatError. The file tells then: once rewritten
  // from the values in memory, it reads cleanly.
  switch (settings_.status()) {
    case QSettings::NoError:
      return std::nullopt;
    case QSettings::FormatError:
      if (ReadsCleanly(settings_.fileName())) return std::nullopt;
      break;
    case QSettings::AccessError:
      break;
  }
  return settings_texts::CannotBeWritten(settings_.fileName());
}

}  // namespace verdanpost
