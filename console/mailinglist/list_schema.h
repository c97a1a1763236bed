#ifndef VERDANPOST_CONSOLE_MAILINGLIST_LIST_SCHEMA_H_
#define VERDANPOST_CONSOLE_MAILINGLIST_LIST_SCHEMA_H_

#include <string>

#include "platform/database/connection.h"
#include "platform/database/status.h"

namespace verdanpost::mailinglist {

// Creates MailingList and DeletedList, each with an increasing key that
// gives insertion order, and an index on MailingList's E-Mail, in the
// dialect of the database behind |connection| (SQLite or PostgreSQL). Tables
// and indexes that exist are left as they are, data included.
// The mailbox's ListMail (console/mailbox/list_mail.h) is created with them.
database::Status CreateTables(database::Connection* connection);

// CreateTables on a connection of its own to |connection_string| (a data
// source name, or the driver's keywords), closed again before it returns.
database::Status CreateTables(const std::string& connection_string);

}  // namespace verdanpost::mailinglist

#endif  // VERDANPOST_CONSOLE_MAILINGLIST_LIST_SCHEMA_H_
