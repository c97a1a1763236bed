#include "console/dispatch/send_recipe.h"

#include <initializer_list>
#include <utility>

#include <QFile>
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
  const bool called = mailer.SendRawMessageFromFile(HandoffPath(message_file), err);
  // It held the recipients' addresses; the mailer has read it by now.
  RemoveHandoffFile(message_file);
  return called;
}

// The editor's tab of each stored message, as the operator sees it.
const char* TabCaption(StoredMessage which) {
  switch (which) {
    case StoredMessage::kAddition:
      return "Addition";
    case StoredMessage::kRemoval:
      return "Removal";
    case StoredMessage::kMessages:
      break;
  }
  return "Send";
}

}  // namespace

QString DisplayAddress(const QString& name, const QString& email) {
  return '"' + name + "\" <" + email + '>';
}

const char* MessageName(StoredMessage which) {
  switch (which) {
    case StoredMessage::kAddition:
      return kGreeting;
    case StoredMessage::kRemoval:
      return kFarewell;
    case StoredMessage::kMessages:
      break;
  }
  return kListMessage;
}

bool CheckSendable(const SendInputs& inputs, StoredMessage which, QString* err) {
  const QString& from = inputs.setup.FromEmail;
  if (from.trimmed().isEmpty()) {
    *err = kFromEmpty;
    return false;
  }
  if (!HasAddressForm(from) || HoldsControlCharacter(from)) {
    *err = kFromNotValid;
    return false;
  }
  const MessageDefinition& message = inputs.message;
  if (ChooseBranch(message) == Branch::kText) return true;
  if (message.FileName.isEmpty()) {
    *err = NoMessageFile(MessageName(which), TabCaption(which));
    return false;
  }
  if (ChooseBranch(message) != Branch::kRaw) return true;
  // A file that cannot be read is told by the send that reads it.
  QFile file(message.FileName);
  return !file.open(QIODevice::ReadOnly) || CheckRawMessage(file.readAll(), err);
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
    QStringList header_lines{"Bcc: " + batch.addresses};
    // The owner's copy, as the other forms give it through their To.
    if (inputs.setup.CopyMessages != kUnchecked)
      header_lines << "To: " + OwnerAddress(inputs.setup);
    if (!batch.list_headers.isEmpty())
      header_lines += FieldsNotInFile(batch.list_headers, inputs.message.FileName);
    return SendRaw(mailer, inputs.message.FileName, header_lines, err);
  }
  return SendBuilt(mailer, inputs, OwnerAddress(inputs.setup), batch.addresses, err);
}

bool ReadOutcome(MailerClient& mailer, MailerOutcome* outcome, QString* err) {
  if (!mailer.ErrorCode(&outcome->code, err)) return false;
  *outcome = MailerOutcome{outcome->code, {}, {}, {}, {}};
  if (outcome->ok()) return true;
  if (!mailer.ErrorMessage(&outcome->message, err)) return false;
  outcome->server_reply = mailer.OptionalText("ServerReply");
  outcome->failure_reason = mailer.OptionalText("FailureReason");
  outcome->server_address = mailer.OptionalText("ServerAddress");
  return true;
}

QString FailureText(const MailerOutcome& outcome) {
  QString text = outcome.message;
  // Where a connection failed, the server it tried: "Could not connect to
  // server mail.example.org:587 (6)".
  if (outcome.code == kConnectionFailed && !outcome.server_address.isEmpty()) {
    text += ' ' + outcome.server_address;
  }
  text = FailureText(outcome.code, text);
  // Then why: the server's own words, or the system's reason when no reply
  // decided it.
  const QString& why =
      !outcome.server_reply.isEmpty() ? outcome.server_reply : outcome.failure_reason;
  if (!why.isEmpty()) text += ": " + why;
  return text;
}

}  // namespace verdanpost
