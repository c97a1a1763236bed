#ifndef VERDANPOST_CONSOLE_DISPATCH_SEND_PACER_H_
#define VERDANPOST_CONSOLE_DISPATCH_SEND_PACER_H_

#include <cstdint>
#include <vector>

#include <QDateTime>
#include <QString>

#include "mailer/smtp/server_settings.h"

namespace verdanpost {

// The limits the console's servers.ini gives the server `server_name` (as
// typed on the Setup page); none when the file has no section for it, or
// when the file cannot be read (the mailer then refuses the send itself,
// saying why).
ServerLimits ServerSendLimits(const QString& server_name);

// One message that went to the server: when, and how many recipients it
// took.
struct SentMessage {
  QDateTime at;
  int64_t recipients = 0;
};

// When the next message of a bulk send may go so that the send stays
// within the server's limits, counting the messages of the last day.
class SendPacer {
 public:
  // `history` holds the messages of the last 24 hours, in any order.
  SendPacer(ServerLimits limits, std::vector<SentMessage> history);

  struct Slot {
    QDateTime at;        // not before the `now` asked with
    int64_t recipients;  // at most the number asked for; 0: the day's limit is reached
    QString reason;      // why the message waits or shrinks, when it does
  };

  // When a message for up to `wanted` recipients may go, asked at `now`:
  // at once, or once the messages of the last minute or hour allow it;
  // fewer recipients when the day allows no more. With no recipient left
  // for the day, `at` is when the first of the day's recipients counts no
  // more.
  Slot Next(const QDateTime& now, int64_t wanted) const;

  // A message went at `at` and the server took `recipients` of it.
  void Sent(const QDateTime& at, int64_t recipients);

  const ServerLimits& limits() const { return limits_; }

 private:
  // The time at or after `t` when fewer than `allowed` messages went in the
  // `seconds` before it; `t` itself when that is so already.
  QDateTime FreeFrom(const QDateTime& t, int64_t allowed, int64_t seconds) const;

  ServerLimits limits_;
  std::vector<SentMessage> history_;  // oldest first
};

// "Waiting until 14:32:05: the server allows 30 messages a minute."
QString PacingUntil(const QDateTime& until, const QString& reason);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_SEND_PACER_H_
