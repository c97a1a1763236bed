#include "console/dispatch/send_recipe.h"

#include <initializer_list>
#include <utility>

#include <QStringList>

#include "console/dispatch/control_characters.h"
#include "console/dispatch/handoff_file.h"
#include "console/dispatch/list_headers.h"
#include "console/dispatch/operator_texts.h"

namespace verdanpost {

namespace {

enum class Branch { kText, kFile, kRaw };

Branch ChooseBranch(const MessageDefinition& message) {
  if (!message.UseFile) return Branch::kText;
  return message.SendRaw == kChecked ? Branch::kRaw : Branch::kFile;
}

QString FromAddress(const SetupSettings& setup) {
  return DisplayAddress(setup.FromName, setup.FromEmail);
}

QString OwnerAddress(const SetupSettings& setup) {
  return DisplayAddress(setup.ToName, setup.ToEmail);
}

// false with *err naming the first of the header values that holds a line
// break or another control character: the mailer would write it into the
// header as it stands.
bool CheckHeaderValues(std::initializer_list<std::pair<const char*, const QString&>> values,
                       QString* err) {
  for (const auto& [field, value] : values) {
    if (HoldsControlCharacter(value)) {
      *err = HeaderLineBroken(field);
      return false;
    }
  }
  return true;
}

bool SendBuilt(MailerClient& mailer, const SendInputs& inputs, const QString& to,
               const QString& bcc, QString* err) {
  const MessageDefinition& message = inputs.message;
  const QString from = FromAddress(inputs.setup);
  if (!CheckHeaderValues({{"From", from}, {"To", to}, {"Bcc", bcc}, {"Subject", message.Subject}},
                         err)) {
    return false;
  }
  if (ChooseBranch(message) == Branch::kText) {
    return mailer.SendMessage(from, to, QString(), bcc, message.Subject, message.MessageText, err);
  }
  return mailer.SendMessageFromFile(from, to, QString(), bcc, message.Subject, message.FileName,
                                    err);
}

bool SendRaw(MailerClient& mailer, const QString& message_file, const QStringList& header_lines,
             QString* err) {
  if (!WriteHandoffFile(message_file, header_lines, err)) return false;
  return mailer.SendRawMessageFromFile(HandoffPath(message_file), err);
}

}  // namespace

QString DisplayAddress(const QString& name, const QString& email) {
  return '"' + name + "\" <" + email + '>';
}

bool SetUpMailer(MailerFactory& mailers, const QString& server_name, bool ignore_to,
                 std::unique_ptr<MailerClient>* mailer, QString* err) {
  std::unique_ptr<MailerClient> made = mailers.Create(err);
  if (made == nullptr) return false;
  if (!made->PutServerName(server_name, err) || !made->PutIgnoreTo(ignore_to, err)) return false;
  *mailer = std::move(made);
  return true;
}

bool SendStoredMessage(MailerClient& mailer, const SendInputs& inputs, const Recipient& recipient,
                       QString* err) {
  const SetupSettings& setup = inputs.setup;
  const QString to = DisplayAddress(recipient.name, recipient.email);
  if (ChooseBranch(inputs.message) == Branch::kRaw) {
    QStringList header_lines{"To: " + to};
    // Any state but unchecked asks for the copy here, the grey one included.
    if (setup.CopyMessages != kUnchecked) header_lines << "Bcc: " + OwnerAddress(setup);
    return SendRaw(mailer, inputs.message.FileName, header_lines, err);
  }
  const QString bcc = setup.CopyMessages == kChecked ? setup.ToEmail : QString();
  return SendBuilt(mailer, inputs, to, bcc, err);
}

bool SendStoredMessage(MailerClient& mailer, const SendInputs& inputs, const BatchList& batch,
                       QString* err) {
  if (ChooseBranch(inputs.message) == Branch::kRaw) {
    const QStringList header_lines =
        QStringList{"Bcc: " + batch.addresses} +
        (batch.list_headers.isEmpty()
             ? QStringList()
             : FieldsNotInFile(batch.list_headers, inputs.message.FileName));
    return SendRaw(mailer, inputs.message.FileName, header_lines, err);
  }
  return SendBuilt(mailer, inputs, OwnerAddress(inputs.setup), batch.addresses, err);
}

bool ReadOutcome(MailerClient& mailer, MailerOutcome* outcome, QString* err) {
  if (!mailer.ErrorCode(&outcome->code, err)) return false;
  outcome->message.clear();
  return outcome->ok() || mailer.ErrorMessage(&outcome->message, err);
}

QString FailureText(const MailerOutcome& outcome) {
  return FailureText(outcome.code, outcome.message);
}

}  // namespace verdanpost
