#include "console/mailbox/farewells.h"

#include <memory>

#include "console/dispatch/control_characters.h"
#include "console/dispatch/send_recipe.h"
#include "console/mailbox/mailbox_texts.h"

namespace verdanpost::mailbox {

int SendFarewells(MailerFactory& mailers, const SendInputs& inputs,
                  const std::vector<RemovalResult::Leaver>& leavers, QString* failures) {
  if (leavers.empty()) return 0;
  QString why;
  std::unique_ptr<MailerClient> mailer;
  if (!SetUpMailer(mailers, inputs.setup.SMTPServer, false, &mailer, &why)) {
    *failures += QString("\nThe mailer could not be created: ") + why;
    return 0;
  }
  int sent = 0;
  for (const RemovalResult::Leaver& leaver : leavers) {
    const Recipient to{QString::fromStdString(leaver.name), QString::fromStdString(leaver.email)};
    const QString failed = '\n' + QString(kFarewellNotSent) + to.email + ": ";
    // As with Delete: an address or name that would break the header lines
    // gets no farewell.
    if (!IsSendableAddress(to.email) || HoldsControlCharacter(to.name)) {
      *failures += failed + "the address or name holds characters a message cannot carry";
      continue;
    }
    MailerOutcome outcome;
    if (!SendStoredMessage(*mailer, inputs, to, &why) || !ReadOutcome(*mailer, &outcome, &why)) {
      *failures += failed + why;
    } else if (!outcome.ok()) {
      *failures += failed + FailureText(outcome);
    } else {
      ++sent;
    }
  }
  return sent;
}

QString RemovalReport(const RemovalResult& result, int farewells_sent, const QString& failures) {
  QString text = QString("%1 %2 removed, %3 %4 sent")
                     .arg(result.removed)
                     .arg(result.removed == 1 ? "subscriber" : "subscribers")
                     .arg(farewells_sent)
                     .arg(farewells_sent == 1 ? "farewell" : "farewells");
  if (result.error.empty() && failures.isEmpty()) return text + " :-)!";
  text += '.';
  if (!result.error.empty()) text += '\n' + QString::fromStdString(result.error);
  return text + failures;
}

}  // namespace verdanpost::mailbox
