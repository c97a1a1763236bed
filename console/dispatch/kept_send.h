#ifndef VERDANPOST_CONSOLE_DISPATCH_KEPT_SEND_H_
#define VERDANPOST_CONSOLE_DISPATCH_KEPT_SEND_H_

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>

#include "console/dispatch/console_operations.h"

namespace verdanpost {

// A bulk send kept beside its records until every subscriber it was meant
// for is accounted for, so that a send that was cancelled, stopped, ran out
// of the day's limit or ended with the program can go on later: the message
// as it went (its definition, a copy of its file), the Setup values it went
// with, whom it was for, its records, and a journal naming the subscribers
// of each message before it is handed to the mailer. The folder is
// "<first record's name>.send" in the records' folder, for the owner alone.
class KeptSend {
 public:
  // What the records say of the subscribers the send was for.
  struct Account {
    int64_t total = 0;    // subscribers the send was for
    int64_t reached = 0;  // of those, the ones who got it
    // Those still to be sent to: never tried, or refused for now; in list
    // order.
    std::vector<QString> rest;
  };

  KeptSend(const KeptSend&) = delete;
  KeptSend& operator=(const KeptSend&) = delete;
  ~KeptSend();

  // Keeps a send of `inputs` to `recipients` (in list order) in batches of
  // `batch_size` whose messages carry `list_headers`, started at `started`
  // with the subject `subject`, whose first record is `record_path`.
  // nullptr with *err when it could not be written; nothing is left then.
  static std::unique_ptr<KeptSend> Create(const QString& record_path, const SendInputs& inputs,
                                          const std::vector<QString>& recipients,
                                          int64_t batch_size, const QStringList& list_headers,
                                          const QString& subject, const QDateTime& started,
                                          QString* err);

  // The kept sends in `record_folder`, oldest first; one that cannot be
  // read is left out.
  static std::vector<std::unique_ptr<KeptSend>> FindAll(const QString& record_folder);

  // The message as it went: its file is the kept copy.
  const SendInputs& inputs() const { return inputs_; }
  int64_t batch_size() const { return batch_size_; }
  const QStringList& list_headers() const { return list_headers_; }
  const QString& subject() const { return subject_; }
  const QDateTime& started() const { return started_; }

  // Adds the record of a further run of the send.
  bool AddRecord(const QString& record_path, QString* err);

  // Names the subscribers of message `number` of the record `record_path`
  // before the message goes, so that a message on the wire when the
  // program ended is known.
  bool Announce(const QString& record_path, int number, std::span<const QString> batch,
                QString* err);

  // Reads the records. Subscribers of a message that was announced but has
  // no rows (the program ended while it was on the wire) get a row with
  // code -1 saying that it may have reached them; like every subscriber
  // with code -1, they are not sent to again. A subscriber with several
  // rows counts by the last.
  Account Reckon();

  // Forgets the send: its folder goes, its records stay.
  void Forget();

 private:
  explicit KeptSend(QString folder) : folder_(std::move(folder)) {}
  bool Load();
  bool WriteDescription(QString* err) const;

  QString folder_;
  SendInputs inputs_;
  int64_t batch_size_ = 1;
  QStringList list_headers_;
  QString subject_;
  QDateTime started_;
  QStringList records_;  // file names in the records' folder, in order
  std::unique_ptr<QFile> journal_;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_KEPT_SEND_H_
