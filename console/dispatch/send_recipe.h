#ifndef VERDANPOST_CONSOLE_DISPATCH_SEND_RECIPE_H_
#define VERDANPOST_CONSOLE_DISPATCH_SEND_RECIPE_H_

#include <cstdint>
#include <memory>
#include <utility>

#include <QString>
#include <QStringList>

#include "console/dispatch/mailer_client.h"
#include "console/window/console_operations.h"

namespace verdanpost {

// One addressee of a greeting or farewell, as typed.
struct Recipient {
  QString name;
  QString email;
};

// The addresses of one batch of a bulk send: bare addresses joined by ", ".
// A raw send adds `list_headers` to its hand-off file, each unless the
// message file has that field already.
struct BatchList {
  explicit BatchList(QString addresses_, QStringList list_headers_ = {})
      : addresses(std::move(addresses_)), list_headers(std::move(list_headers_)) {}

  QString addresses;
  QStringList list_headers;
};

// The name between double quotes, a blank and the address in angle
// brackets, with nothing escaped: "Ann Lee" <ann@example.org>.
QString DisplayAddress(const QString& name, const QString& email);

// Creates a mailer with `mailers` into *mailer and sets its ServerName and
// IgnoreTo. false with *err (the reason alone) when that could not be done.
bool SetUpMailer(MailerFactory& mailers, const QString& server_name, bool ignore_to,
                 std::unique_ptr<MailerClient>* mailer, QString* err);

// Hands the editor's definition to the mailer for one recipient or for one
// batch: as text, as a body file, or (UseFile with SendRaw) as the message
// file behind inserted header lines in its hand-off file. Its outcome is the
// mailer's error state; false with *err only when the mailer could not be
// called or a file could not be read or written, and then nothing was sent.
bool SendStoredMessage(MailerClient& mailer, const SendInputs& inputs, const Recipient& recipient,
                       QString* err);
bool SendStoredMessage(MailerClient& mailer, const SendInputs& inputs, const BatchList& batch,
                       QString* err);

// The mailer's error state after a send; `message` is read only on failure.
struct MailerOutcome {
  int32_t code = -1;
  QString message;

  bool ok() const { return code == 0; }
};
bool ReadOutcome(MailerClient& mailer, MailerOutcome* outcome, QString* err);

// The text that reports a failed send: the mailer's message, then its code
// in parentheses, as in "Could not connect to server (6)".
QString FailureText(const MailerOutcome& outcome);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_SEND_RECIPE_H_
