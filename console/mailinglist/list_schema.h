#ifndef VERDANPOST_CONSOLE_MAILINGLIST_LIST_SCHEMA_H_
#define VERDANPOST_CONSOLE_MAILINGLIST_LIST_SCHEMA_H_

#include <string>
#include <vector>

#include "platform/database/connection.h"
#include "platform/database/status.h"

namespace verdanpost::mailinglist {

// Creates MailingList and DeletedList, each with an increasing key that
// gives insertion order, in the dialect of the database behind |connection|
// (SQLite or PostgreSQL). A MailingList made here gets a unique index on
// E-Mail that ignores letter case, so that no address is on it twice; one
// that exists keeps its own and gets a plain index on E-Mail. Tables and
// indexes that exist are left as they are, data included.
// The mailbox's ListMail (console/mailbox/list_mail.h) is created with them.
database::Status CreateTables(database::Connection* connection);

// The typed forms of one address that several MailingList rows hold, letter
// case aside ("Carl@Example.ORG", "carl@example.org"), one per row.
using SharedAddress = std::vector<std::string>;

// Every address that more than one MailingList row holds, letter case aside.
database::Status FindSharedAddresses(database::Connection* connection,
                                     std::vector<SharedAddress>* shared);

// Gives an existing MailingList the unique index on E-Mail, letter case
// aside, that CreateTables gives a new one, unless rows already share an
// address: then *shared lists them and nothing changes (rows are never
// deleted here: which to keep is the operator's choice).
database::Status AddUniqueAddressIndex(database::Connection* connection,
                                       std::vector<SharedAddress>* shared);

// CreateTables on a connection of its own to |connection_string| (a data
// source name, or the driver's keywords), closed again before it returns.
database::Status CreateTables(const std::string& connection_string);

}  // namespace verdanpost::mailinglist

#endif  // VERDANPOST_CONSOLE_MAILINGLIST_LIST_SCHEMA_H_
