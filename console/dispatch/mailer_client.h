#ifndef VERDANPOST_CONSOLE_DISPATCH_MAILER_CLIENT_H_
#define VERDANPOST_CONSOLE_DISPATCH_MAILER_CLIENT_H_

#include <cstdint>
#include <memory>

#include <QString>

namespace verdanpost {

// The members of the mailer object that the console calls. Each returns
// false with *err set when the call itself could not be made (a member
// missing, a broken object); what the mailer thinks of the message is its
// ErrorCode and ErrorMessage, not a failed call. Abstract so the send recipe
// can be tested on its arguments alone.
class MailerClient {
 public:
  virtual ~MailerClient() = default;

  virtual bool PutServerName(const QString& name, QString* err) = 0;
  virtual bool PutIgnoreTo(bool ignore, QString* err) = 0;
  virtual bool SendMessage(const QString& from, const QString& to, const QString& cc,
                           const QString& bcc, const QString& subject, const QString& message,
                           QString* err) = 0;
  virtual bool SendMessageFromFile(const QString& from, const QString& to, const QString& cc,
                                   const QString& bcc, const QString& subject,
                                   const QString& file_name, QString* err) = 0;
  virtual bool SendRawMessageFromFile(const QString& file_name, QString* err) = 0;
  virtual bool ErrorCode(int32_t* code, QString* err) = 0;
  virtual bool ErrorMessage(QString* message, QString* err) = 0;
  // A string property that a mailer may lack ("ServerReply",
  // "FailureReason", "ServerAddress"): its value, or "" when the mailer has
  // no such property or it cannot be read.
  virtual QString OptionalText(const char* property) = 0;

  // Members a mailer may lack; false with *err when it does. KeepConnection
  // keeps one session open across sends; Disconnect ends it.
  virtual bool PutKeepConnection(bool keep, QString* err) {
    (void)keep;
    *err = QStringLiteral("KeepConnection: no such member");
    return false;
  }
  virtual bool Disconnect(QString* err) {
    *err = QStringLiteral("Disconnect: no such member");
    return false;
  }
  // A message that goes to whoever the server takes; RefusedRecipients
  // (read with OptionalText) names the others, one
  // "address<TAB>code<TAB>reply" line each.
  virtual bool PutPartialDelivery(bool on, QString* err) {
    (void)on;
    *err = QStringLiteral("PartialDelivery: no such member");
    return false;
  }
  // Header lines that built messages carry besides the mailer's own.
  virtual bool PutExtraHeaders(const QString& lines, QString* err) {
    (void)lines;
    *err = QStringLiteral("ExtraHeaders: no such member");
    return false;
  }
};

// Makes a fresh mailer object for each operation. Abstract so the operations
// can be tested on a scripted mailer.
class MailerFactory {
 public:
  virtual ~MailerFactory() = default;

  // nullptr with *err when no mailer could be made.
  virtual std::unique_ptr<MailerClient> Create(QString* err) = 0;
};

// The ProgID by which the console creates its mailer.
inline constexpr char kMailerProgId[] = "Verdanpost.SMTPMailer.1";

// Creates the mailer by kMailerProgId through the automation runtime and
// binds to it late, by member name: the console does not link the mailer
// library. Fails when the class is not registered or its library cannot be
// loaded.
class ProgIdMailerFactory : public MailerFactory {
 public:
  std::unique_ptr<MailerClient> Create(QString* err) override;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_MAILER_CLIENT_H_
