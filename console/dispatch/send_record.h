#ifndef VERDANPOST_CONSOLE_DISPATCH_SEND_RECORD_H_
#define VERDANPOST_CONSOLE_DISPATCH_SEND_RECORD_H_

#include <cstdint>
#include <vector>

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>

#include "console/dispatch/send_pacer.h"

namespace verdanpost {

// Where the records of bulk sends go: ${XDG_DATA_HOME:-~/.local/share}/verdanpost/sends,
// by the rule of XdgDataHome() (platform/xdg_paths.h).
QString SendRecordFolder();

// The record of one bulk send: a CSV file named by the send's start time,
// with a header row and one row per subscriber of each message tried, handed
// to the system as soon as its message has ended, so that a crash loses at
// most the rows of the message on the wire. Used from one thread at a time.
class SendRecord {
 public:
  SendRecord() = default;
  SendRecord(const SendRecord&) = delete;
  SendRecord& operator=(const SendRecord&) = delete;

  // Creates the record of a send that started at `start` in `folder` (made
  // when missing) and writes its header row. A second send within the same
  // second gets the name with "_2", "_3", ... added. false with *err when the
  // file could not be created or written.
  bool Create(const QString& folder, const QDateTime& start, QString* err);

  // Adds the row of `recipient` in message `number` (from 1), ended at
  // `ended`: 0 and the server's reply to the end of the data when the
  // recipient got it, else the refusal's code and reply. The row is with
  // the system when it returns.
  bool AddRow(int number, const QString& recipient, const QDateTime& ended, int32_t code,
              const QString& reply, QString* err);

  // Closes and removes the record: nothing went out.
  void Discard();

  // The file's path; empty before Create.
  const QString& path() const { return path_; }

 private:
  bool Write(const QStringList& fields, QString* err);

  QFile file_;
  QString path_;
};

// One row of a send record as read back.
struct RecordRow {
  int number = 0;  // the message, from 1
  QString recipient;
  QDateTime ended;
  int32_t code = 0;
  QString reply;
};

// The rows of the send record at `path`, header left out. A row cut short
// (the program ended while it was written) and rows that are not a
// record's are left out; none when the file cannot be read.
std::vector<RecordRow> ReadSendRecord(const QString& path);

// Adds `rows` to the end of the existing record at `path`.
bool AppendToSendRecord(const QString& path, const std::vector<RecordRow>& rows, QString* err);

// The messages of the records in `folder` that ended after `since`: when
// each ended and how many of its recipients the server took.
std::vector<SentMessage> ReadSendHistory(const QString& folder, const QDateTime& since);

// The time as the record writes it: with its offset from UTC, to the
// millisecond, so that rows sort and compare across a change of the clocks.
QString RecordTimestamp(const QDateTime& time);

// One CSV field: as it is, or between double quotes with its double quotes
// doubled when it holds a comma, a double quote, a line break or starts or
// ends with a blank.
QString CsvField(const QString& text);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_SEND_RECORD_H_
