#ifndef VERDANPOST_CONSOLE_DISPATCH_IMPORT_GREETER_H_
#define VERDANPOST_CONSOLE_DISPATCH_IMPORT_GREETER_H_

#include <memory>
#include <string>

#include <QString>

#include "console/dispatch/console_operations.h"
#include "console/dispatch/mailer_client.h"
#include "console/mailinglist/list_import.h"

class QSettings;

namespace verdanpost {

// Sends the greeting of an import with --greet, as Add sends it, to one
// imported subscriber after another through one mailer, which keeps one
// session to the server for all of them where it can (KeepConnection; a
// mailer without it connects per message). The session ends when the
// greeter is destroyed.
class MailerGreeter : public mailinglist::ImportGreeter {
 public:
  ~MailerGreeter() override;

  // Null with *err when no mailer could be made and set up. |inputs| holds
  // the greeting (the Addition definition) and the Setup values.
  static std::unique_ptr<MailerGreeter> Create(MailerFactory& mailers, const SendInputs& inputs,
                                               QString* err);

  bool Greet(const std::string& name, const std::string& email, std::string* why) override;

 private:
  MailerGreeter(std::unique_ptr<MailerClient> mailer, const SendInputs& inputs)
      : mailer_(std::move(mailer)), inputs_(inputs) {}

  std::unique_ptr<MailerClient> mailer_;
  const SendInputs inputs_;
  bool kept_ = false;  // the mailer took KeepConnection
};

// The greeting and Setup values as the console last stored them in
// |settings|: what verdanpost-listdb import --greet sends.
SendInputs StoredGreetingInputs(QSettings& settings);

// The greeter of verdanpost-listdb import --greet: the mailer made by
// ProgID, the greeting and Setup values from the console's settings store.
// Null with *err when the mailer cannot be made.
std::unique_ptr<mailinglist::ImportGreeter> GreeterFromStoredSettings(std::string* err);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_IMPORT_GREETER_H_
