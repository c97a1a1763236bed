#include "console/dispatch/import_greeter.h"

#include <utility>

#include <QSettings>

#include "console/dispatch/send_recipe.h"
#include "console/settings/message_definition.h"
#include "console/settings/settings_store.h"

namespace verdanpost {

MailerGreeter::~MailerGreeter() {
  QString ignored;
  if (kept_) mailer_->Disconnect(&ignored);
}

std::unique_ptr<MailerGreeter> MailerGreeter::Create(MailerFactory& mailers,
                                                     const SendInputs& inputs, QString* err) {
  std::unique_ptr<MailerClient> mailer;
  if (!SetUpMailer(mailers, inputs.setup.SMTPServer, false, &mailer, err)) return nullptr;
  std::unique_ptr<MailerGreeter> greeter(new MailerGreeter(std::move(mailer), inputs));
  // A mailer without kept sessions still greets, one session a message.
  QString ignored;
  greeter->kept_ = greeter->mailer_->PutKeepConnection(true, &ignored);
  return greeter;
}

bool MailerGreeter::Greet(const std::string& name, const std::string& email, std::string* why) {
  const Recipient to{QString::fromStdString(name), QString::fromStdString(email)};
  QString err;
  MailerOutcome outcome;
  if (!SendStoredMessage(*mailer_, inputs_, to, &err) || !ReadOutcome(*mailer_, &outcome, &err)) {
    *why = err.toStdString();
    return false;
  }
  if (!outcome.ok()) *why = FailureText(outcome).toStdString();
  return outcome.ok();
}

SendInputs StoredGreetingInputs(QSettings& settings) {
  SettingsStore store(settings);
  return {ReadMessageDefinition(store, QStringLiteral("Addition")), ReadSetupSettings(store)};
}

std::unique_ptr<mailinglist::ImportGreeter> GreeterFromStoredSettings(std::string* err) {
  QSettings settings(QSettings::IniFormat, QSettings::UserScope,
                     QStringLiteral("Verdanpost Console"));
  // The mailers a greeter makes stay valid while it lives: the factory has no state.
  static ProgIdMailerFactory mailers;
  QString why;
  std::unique_ptr<MailerGreeter> greeter =
      MailerGreeter::Create(mailers, StoredGreetingInputs(settings), &why);
  if (greeter == nullptr) *err = why.toStdString();
  return greeter;
}

}  // namespace verdanpost
