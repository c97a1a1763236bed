#include "console/dispatch/kept_send.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <tuple>
#include <utility>

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "console/dispatch/operator_texts.h"
#include "console/dispatch/refusals.h"
#include "console/dispatch/send_record.h"
#include "console/dispatch/write_all.h"
#include "console/settings/settings_store.h"

namespace verdanpost {

namespace {

constexpr char kDescription[] = "send.ini";
constexpr char kRecipients[] = "recipients.txt";
constexpr char kJournal[] = "journal.txt";
constexpr char kFileFolder[] = "file";
constexpr char kSuffix[] = ".send";
// The sections of the description; the message and the Setup values are
// written as the console's settings file holds them.
constexpr char kMessageSection[] = "Message";

const QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

bool WriteFile(const QString& path, const QByteArray& bytes, QString* err) {
  QFile file(path);
  QString why;
  if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly)) {
    why = file.errorString();
  } else if (WriteAll(file, bytes, &why)) {
    return true;
  }
  *err = FileNotWritten(path, why);
  return false;
}

// Copies the file at `from` to a new file `to` for the owner alone, a
// piece at a time (a message file may be large).
bool CopyFile(const QString& from, const QString& to, QString* err) {
  QFile in(from);
  if (!in.open(QIODevice::ReadOnly)) {
    *err = MessageFileNotRead(from, in.errorString());
    return false;
  }
  QFile out(to);
  if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly)) {
    *err = FileNotWritten(to, out.errorString());
    return false;
  }
  QString why;
  while (!in.atEnd()) {
    const QByteArray piece = in.read(1 << 20);
    if (in.error() != QFile::NoError) {
      *err = MessageFileNotRead(from, in.errorString());
      return false;
    }
    if (!WriteAll(out, piece, &why)) {
      *err = FileNotWritten(to, why);
      return false;
    }
  }
  return true;
}

}  // namespace

KeptSend::~KeptSend() = default;

std::unique_ptr<KeptSend> KeptSend::Create(const QString& record_path, const SendInputs& inputs,
                                           const std::vector<QString>& recipients,
                                           int64_t batch_size, const QStringList& list_headers,
                                           const QString& subject, const QDateTime& started,
                                           QString* err) {
  const QFileInfo record(record_path);
  const QString folder = record.dir().filePath(record.completeBaseName() + kSuffix);
  std::unique_ptr<KeptSend> kept(new KeptSend(folder));
  kept->inputs_ = inputs;
  kept->batch_size_ = batch_size;
  kept->list_headers_ = list_headers;
  kept->subject_ = subject;
  kept->started_ = started;
  kept->records_ << record.fileName();
  if (!QDir().mkdir(folder) || !QFile::setPermissions(folder, kOwnerOnly | QFileDevice::ExeOwner)) {
    *err = QStringLiteral("Cannot create the folder \"%1\"").arg(folder);
    return nullptr;
  }
  // The message as it goes: a later change of the file does not change it.
  const QString source = inputs.message.FileName;
  if (inputs.message.UseFile && QFileInfo(source).isFile()) {
    const QString copy = QDir(folder).filePath(
        QStringLiteral("%1/%2").arg(kFileFolder, QFileInfo(source).fileName()));
    if (!QDir(folder).mkdir(kFileFolder) || !CopyFile(source, copy, err)) {
      if (err->isEmpty()) *err = QStringLiteral("Cannot create the folder \"%1\"").arg(copy);
      kept->Forget();
      return nullptr;
    }
    kept->inputs_.message.FileName = copy;
  }
  QByteArray list;
  for (const QString& address : recipients) list += address.toUtf8() + '\n';
  if (!WriteFile(QDir(folder).filePath(kRecipients), list, err) || !kept->WriteDescription(err)) {
    kept->Forget();
    return nullptr;
  }
  return kept;
}

bool KeptSend::WriteDescription(QString* err) const {
  const QString path = QDir(folder_).filePath(kDescription);
  const QString fresh = path + QStringLiteral(".new");
  QFile::remove(fresh);
  {
    QSettings ini(fresh, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("Send"));
    ini.setValue(QStringLiteral("Subject"), subject_);
    ini.setValue(QStringLiteral("Started"), RecordTimestamp(started_));
    ini.setValue(QStringLiteral("BatchSize"), static_cast<qlonglong>(batch_size_));
    ini.setValue(QStringLiteral("ListHeaders"), list_headers_);
    ini.setValue(QStringLiteral("Records"), records_);
    ini.endGroup();
    SettingsStore store(ini);
    WriteMessageDefinition(store, kMessageSection, inputs_.message);
    WriteSetupSettings(store, inputs_.setup);
    ini.sync();
    if (ini.status() != QSettings::NoError) {
      *err = FileNotWritten(fresh, QStringLiteral("the settings could not be written"));
      QFile::remove(fresh);
      return false;
    }
  }
  QFile::setPermissions(fresh, kOwnerOnly);
  // Replaced whole, so that a description is never half written.
  if (::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(path).constData()) != 0) {
    *err = FileNotWritten(path, QString::fromLocal8Bit(strerror(errno)));
    QFile::remove(fresh);
    return false;
  }
  return true;
}

bool KeptSend::Load() {
  const QString path = QDir(folder_).filePath(kDescription);
  if (!QFileInfo(path).isFile()) return false;
  QSettings ini(path, QSettings::IniFormat);
  if (ini.status() != QSettings::NoError) return false;
  ini.beginGroup(QStringLiteral("Send"));
  subject_ = ini.value(QStringLiteral("Subject")).toString();
  started_ =
      QDateTime::fromString(ini.value(QStringLiteral("Started")).toString(), Qt::ISODateWithMs);
  batch_size_ = ini.value(QStringLiteral("BatchSize")).toLongLong();
  list_headers_ = ini.value(QStringLiteral("ListHeaders")).toStringList();
  records_ = ini.value(QStringLiteral("Records")).toStringList();
  ini.endGroup();
  SettingsStore store(ini);
  inputs_.message = ReadMessageDefinition(store, kMessageSection);
  inputs_.setup = ReadSetupSettings(store);
  return started_.isValid() && batch_size_ >= 1 && !records_.isEmpty();
}

std::vector<std::unique_ptr<KeptSend>> KeptSend::FindAll(const QString& record_folder) {
  std::vector<std::unique_ptr<KeptSend>> found;
  const QFileInfoList folders = QDir(record_folder)
                                    .entryInfoList({QStringLiteral("*") + kSuffix},
                                                   QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
  for (const QFileInfo& info : folders) {
    std::unique_ptr<KeptSend> kept(new KeptSend(info.filePath()));
    if (kept->Load()) found.push_back(std::move(kept));
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const auto& a, const auto& b) { return a->started() < b->started(); });
  return found;
}

bool KeptSend::AddRecord(const QString& record_path, QString* err) {
  records_ << QFileInfo(record_path).fileName();
  if (WriteDescription(err)) return true;
  records_.removeLast();
  return false;
}

bool KeptSend::Announce(const QString& record_path, int number, std::span<const QString> batch,
                        QString* err) {
  if (journal_ == nullptr) {
    journal_ = std::make_unique<QFile>(QDir(folder_).filePath(kJournal));
    if (!journal_->open(QIODevice::WriteOnly | QIODevice::Append, kOwnerOnly)) {
      *err = FileNotWritten(journal_->fileName(), journal_->errorString());
      journal_.reset();
      return false;
    }
  }
  const QByteArray prefix =
      (QFileInfo(record_path).fileName() + '\t' + QString::number(number) + '\t').toUtf8();
  QByteArray lines;
  for (const QString& address : batch) lines += prefix + address.toUtf8() + '\n';
  QString why;
  if (WriteAll(*journal_, lines, &why)) return true;
  *err = FileNotWritten(journal_->fileName(), why);
  return false;
}

KeptSend::Account KeptSend::Reckon() {
  const QDir records_folder = QFileInfo(folder_).dir();
  // The journal: which subscribers each message of each record was for.
  std::map<QString, std::vector<std::pair<int, QString>>> announced;
  {
    QFile journal(QDir(folder_).filePath(kJournal));
    if (journal.open(QIODevice::ReadOnly)) {
      for (const QByteArray& line : journal.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 3) continue;  // also a line cut short
        announced[QString::fromUtf8(fields[0])].emplace_back(fields[1].toInt(),
                                                             QString::fromUtf8(fields[2]));
      }
    }
  }
  std::map<QString, int32_t> last;  // each subscriber's last code
  for (const QString& name : records_) {
    const QString path = records_folder.filePath(name);
    std::set<std::pair<int, QString>> rowed;
    for (const RecordRow& row : ReadSendRecord(path)) {
      last[row.recipient] = row.code;
      rowed.emplace(row.number, row.recipient);
    }
    if (!QFileInfo(path).isFile()) {
      // The record is gone: whoever its messages were for may have them.
      for (const auto& entry : announced[name]) last[entry.second] = -1;
      continue;
    }
    std::vector<RecordRow> in_doubt;
    for (const auto& [number, address] : announced[name]) {
      if (rowed.contains({number, address})) continue;
      in_doubt.push_back({number, address, QDateTime::currentDateTime(), -1, kInDoubt});
      last[address] = -1;
    }
    // The record says which; should it not take the rows now, the journal
    // still does next time.
    QString ignored;
    if (!in_doubt.empty()) AppendToSendRecord(path, in_doubt, &ignored);
  }
  Account account;
  QFile list(QDir(folder_).filePath(kRecipients));
  if (!list.open(QIODevice::ReadOnly)) return account;
  for (const QByteArray& line : list.readAll().split('\n')) {
    if (line.isEmpty()) continue;
    const QString address = QString::fromUtf8(line);
    ++account.total;
    const auto found = last.find(address);
    if (found == last.end() || IsTemporary(found->second)) {
      account.rest.push_back(address);
    } else if (found->second == 0) {
      ++account.reached;
    }
  }
  return account;
}

void KeptSend::Forget() {
  journal_.reset();
  QDir(folder_).removeRecursively();
}

}  // namespace verdanpost
