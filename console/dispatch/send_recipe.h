#ifndef VERDANPOST_CONSOLE_DISPATCH_SEND_RECIPE_H_
#define VERDANPOST_CONSOLE_DISPATCH_SEND_RECIPE_H_

#include <cstdint>
#include <memory>
#include <utility>

#include <QString>
#include <QStringList>

#include "console/dispatch/console_operations.h"
#include "console/dispatch/mailer_client.h"

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

// The three stored messages: the list message (the editor's Send tab), the
// greeting (Addition) and the farewell (Removal).
enum class StoredMessage { kMessages, kAddition, kRemoval };

// What the operator's boxes call it: "greeting", "farewell", "list message".
const char* MessageName(StoredMessage which);

// Whether the editor's definition `which` and the Setup values can make a
// message at all: a From address of the form of one, a message file named
// when UseFile is selected, and for a raw send a file with its own header
// and From line (CheckRawMessage). false with *err the text to show; checked
// before anything goes out.
bool CheckSendable(const SendInputs& inputs, StoredMessage which, QString* err);

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

// The ErrorCode of a connection that could not be made.
inline constexpr int32_t kConnectionFailed = 6;

// The mailer's error state after a send; all but `code` are read only on
// failure. The last three are "" from a mailer without those properties.
struct MailerOutcome {
  int32_t code = -1;
  QString message;
  QString server_reply;    // the reply that decided the failure, as the server sent it
  QString failure_reason;  // the system's reason where no reply decided it
  QString server_address;  // "host:port" the mailer connected or tried to

  bool ok() const { return code == 0; }
};
bool ReadOutcome(MailerClient& mailer, MailerOutcome* outcome, QString* err);

// The text that reports a failed send: the mailer's message, then its code
// in parentheses, then the server's reply or the reason where there is one:
// "Server returned RCPT TO error (452): 452 4.5.3 Error: too many
// recipients"; a failed connection names the server too: "Could not connect
// to server mail.example.org:587 (6): Connection refused".
QString FailureText(const MailerOutcome& outcome);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_SEND_RECIPE_H_
