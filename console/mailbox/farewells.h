#ifndef VERDANPOST_CONSOLE_MAILBOX_FAREWELLS_H_
#define VERDANPOST_CONSOLE_MAILBOX_FAREWELLS_H_

#include <vector>

#include <QString>

#include "console/dispatch/mailer_client.h"
#include "console/mailbox/mailbox_session.h"
#include "console/dispatch/console_operations.h"

namespace verdanpost::mailbox {

// Sends the farewell `inputs` (the "Removal" definition and the Setup
// values) to each of `leavers` by the send recipe, one mailer for all.
// Returns how many went out; *failures gets a line per one that did not.
int SendFarewells(MailerFactory& mailers, const SendInputs& inputs,
                  const std::vector<RemovalResult::Leaver>& leavers, QString* failures);

// "3 subscribers removed, 2 farewells sent :-)!", with the failures of the
// removal and of the farewells on lines below (and no ":-)!").
QString RemovalReport(const RemovalResult& result, int farewells_sent, const QString& failures);

}  // namespace verdanpost::mailbox

#endif  // VERDANPOST_CONSOLE_MAILBOX_FAREWELLS_H_
