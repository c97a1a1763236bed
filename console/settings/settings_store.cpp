#include "console/settings/settings_store.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include "console/settings/message_definition.h"

namespace verdanpost {

namespace {

QString KeyPath(const QString& section, const QString& key) { return section + '/' + key; }

// Whether the INI file at `path` exists and reads without a format error.
// It is read from a copy: QSettings objects on the same path share one
// in-memory cache and would not look at the file again.
bool ReadsCleanly(const QString& path) {
  const QTemporaryDir dir;
  const QString copy = dir.filePath(QStringLiteral("check.ini"));
  if (!dir.isValid() || !QFile::copy(path, copy)) return false;
  const QSettings check(copy, QSettings::IniFormat);
  check.allKeys();  // the file is parsed on first use
  return check.status() == QSettings::NoError;
}

}  // namespace

std::optional<bool> ParseBoolean(const QString& text) {
  const QString t = text.trimmed();
  if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
  if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
  return std::nullopt;
}

std::optional<int> ParseCheckState(const QString& text) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok, 10);
  if (!ok || value < kUnchecked || value > kGrayed) return std::nullopt;
  return value;
}

SettingsStore::SettingsStore(QSettings& settings) : settings_(settings) {}

QString SettingsStore::Read(const QString& section, const QString& key,
                            const QString& default_value) const {
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

int SettingsStore::ReadCheckState(const QString& section, const QString& key,
                                  const QString& default_text) const {
  return ParseCheckState(Read(section, key, default_text))
      .value_or(ParseCheckState(default_text).value_or(kUnchecked));
}

void SettingsStore::Write(const QString& section, const QString& key, const QString& value) {
  settings_.setValue(KeyPath(section, key), value);
}

void SettingsStore::WriteBoolean(const QString& section, const QString& key, bool value) {
  Write(section, key, value ? QStringLiteral("True") : QStringLiteral("False"));
}

void SettingsStore::WriteCheckState(const QString& section, const QString& key, int state) {
  Write(section, key, QString::number(state));
}

std::optional<QString> SettingsStore::Flush() {
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
  return QStringLiteral("The settings could not be saved: %1 cannot be written.")
      .arg(QDir::toNativeSeparators(settings_.fileName()));
}

}  // namespace verdanpost
