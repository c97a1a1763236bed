#ifndef VERDANPOST_CONSOLE_DISPATCH_FAKE_MAILER_TEST_SUPPORT_H_
#define VERDANPOST_CONSOLE_DISPATCH_FAKE_MAILER_TEST_SUPPORT_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <utility>

#include <QString>
#include <QStringList>

#include "console/dispatch/mailer_client.h"

namespace verdanpost::testing_support {

// What a scripted mailer answers after one send.
struct ScriptedOutcome {
  ScriptedOutcome(int32_t error_code = 0, QString error_message = {}, QString reply = {},
                  QString reason = {}, QString address = {}, QString refused_lines = {},
                  QString limit = {})
      : code(error_code),
        message(std::move(error_message)),
        server_reply(std::move(reply)),
        failure_reason(std::move(reason)),
        server_address(std::move(address)),
        refused(std::move(refused_lines)),
        recipient_limit(std::move(limit)) {}

  int32_t code;
  QString message;
  // The optional properties, read by name.
  QString server_reply;
  QString failure_reason;
  QString server_address;
  QString refused;          // RefusedRecipients
  QString recipient_limit;  // RecipientLimit
};

// Makes mailers that record every call in *log, one line a call: the member,
// then its arguments, joined by "|" ("Create", "ServerName|mail.test",
// "IgnoreTo|-1", "PartialDelivery|-1", "KeepConnection|-1", "Disconnect",
// "ExtraHeaders|lines", "SendMessage|from|to|cc|bcc|subject|text", ...); reads
// of ErrorCode, ErrorMessage and the optional properties are not recorded. Each send takes the next
// scripted outcome (success when none is left), which ErrorCode and
// ErrorMessage then report; before any send they report -1 and "", as a
// fresh mailer does. *log must outlive the factory and its mailers.
class ScriptedMailerFactory : public MailerFactory {
 public:
  explicit ScriptedMailerFactory(QStringList* log) : log_(log) {}

  std::unique_ptr<MailerClient> Create(QString* err) override;

  // Error switches. Create fails with this text when it is not empty.
  QString create_error;
  // From now on, the `nth` call (counted over all mailers) of the member
  // `member` fails as a call, with "broken " and the member's name.
  void FailCall(const QString& member, int nth = 1) {
    failing_member_ = member;
    failing_call_ = nth;
    calls_of_failing_member_ = 0;
  }

  std::deque<ScriptedOutcome> outcomes;
  // Runs inside every send, after its line is recorded.
  std::function<void()> on_send;

 private:
  friend class ScriptedMailer;

  // Records `call`; false with *err when the switches make it fail.
  bool Record(const QStringList& call, QString* err);

  QStringList* log_;
  QString failing_member_;
  int failing_call_ = 0;
  int calls_of_failing_member_ = 0;
};

// The Bcc of each SendMessage call in the log of a ScriptedMailerFactory, in order.
QStringList SentBccs(const QStringList& log);

}  // namespace verdanpost::testing_support

#endif  // VERDANPOST_CONSOLE_DISPATCH_FAKE_MAILER_TEST_SUPPORT_H_
