#include "console/settings/settings_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringDecoder>
#include <QTemporaryDir>

namespace verdanpost {

namespace {

bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

// Whether `ini` parses without a format error (a line that is neither a
// section, a comment nor KEY=VALUE; such a line is dropped when the file is
// written back). It is parsed from a copy: QSettings objects on the same path
// share one in-memory cache.
bool ParsesCleanly(const QByteArray& ini) {
  const QTemporaryDir dir;
  if (!dir.isValid()) return true;
  const QString copy = dir.filePath(QStringLiteral("check.ini"));
  QFile out(copy);
  if (!out.open(QIODevice::WriteOnly) || out.write(ini) != ini.size()) return true;
  out.close();
  const QSettings check(copy, QSettings::IniFormat);
  check.allKeys();  // the file is parsed on first use
  return check.status() != QSettings::FormatError;
}

bool SameContents(const QString& a, const QString& b) {
  QFile fa(a), fb(b);
  return fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly) &&
         fa.readAll() == fb.readAll();
}

}  // namespace

std::optional<int> FindQuoteSpanningLines(QByteArrayView ini) {
  // The INI reader's rules: a double quote opens or closes a quoted text,
  // a backslash escapes the next character (a line end too), and a ";"
  // outside quotes starts a comment that runs to the end of the line.
  int line = 1;
  int quote_line = 0;  // line of the open quote; 0 outside quotes
  for (qsizetype i = 0; i < ini.size(); ++i) {
    const char c = ini[i];
    if (c == '\\' && i + 1 < ini.size()) {
      const char next = ini[++i];
      if (IsLineEnd(next)) {
        ++line;
        if (i + 1 < ini.size() && IsLineEnd(ini[i + 1]) && ini[i + 1] != next) ++i;
      }
    } else if (c == '"') {
      quote_line = quote_line == 0 ? line : 0;
    } else if (c == ';' && quote_line == 0) {
      while (i + 1 < ini.size() && !IsLineEnd(ini[i + 1])) ++i;
    } else if (IsLineEnd(c)) {
      if (quote_line != 0) return quote_line;
      if (c == '\r' && i + 1 < ini.size() && ini[i + 1] == '\n') ++i;
      ++line;
    }
  }
  return std::nullopt;
}

std::optional<int> FindInvalidUtf8(QByteArrayView text) {
  int line = 1;
  qsizetype start = 0;
  while (start <= text.size()) {
    qsizetype end = text.indexOf('\n', start);
    if (end < 0) end = text.size();
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(text.sliced(start, end - start));
    if (decoder.hasError()) return line;
    start = end + 1;
    ++line;
  }
  return std::nullopt;
}

std::optional<SettingsFileTrouble> InspectSettingsFile(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists()) return std::nullopt;
  if (info.isDir()) {
    return SettingsFileTrouble{SettingsFileTrouble::Kind::kUnreadable,
                               {QStringLiteral("it is a folder")}};
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return SettingsFileTrouble{SettingsFileTrouble::Kind::kUnreadable, {file.errorString()}};
  }
  const QByteArray ini = file.readAll();
  if (file.error() != QFile::NoError) {
    return SettingsFileTrouble{SettingsFileTrouble::Kind::kUnreadable, {file.errorString()}};
  }
  QStringList reasons;
  if (const std::optional<int> line = FindQuoteSpanningLines(ini)) {
    reasons << QStringLiteral(
                   "the double quote on line %1 is not closed on that line, so the lines "
                   "after it were read as part of one value")
                   .arg(*line);
  }
  if (const std::optional<int> line = FindInvalidUtf8(ini)) {
    reasons << QStringLiteral("line %1 holds bytes that are not UTF-8 text").arg(*line);
  }
  if (!ParsesCleanly(ini)) {
    reasons << QStringLiteral("some of its lines are neither [Section] nor Key=Value");
  }
  if (reasons.isEmpty()) return std::nullopt;
  return SettingsFileTrouble{SettingsFileTrouble::Kind::kDamaged, reasons};
}

std::optional<QString> KeepCopy(const QString& path, QString* err) {
  for (int n = 1; n < 100; ++n) {
    const QString copy =
        n == 1 ? path + QStringLiteral(".bak") : path + QStringLiteral(".%1.bak").arg(n);
    if (QFileInfo::exists(copy)) {
      // The same damage seen again keeps its one copy.
      if (SameContents(path, copy)) return copy;
      continue;
    }
    QFile file(path);
    if (file.copy(copy)) return copy;
    *err = QStringLiteral("%1: %2").arg(copy, file.errorString());
    return std::nullopt;
  }
  *err = QStringLiteral("too many copies beside it already");
  return std::nullopt;
}

}  // namespace verdanpost
