#include "console/mailinglist/list_schema.h"

#include <string>
#include <vector>

#include "console/mailbox/list_mail.h"
#include "platform/database/statement.h"

namespace verdanpost::mailinglist {

using database::Status;

Status CreateTables(database::Connection* connection) {
  const database::SqlDialect& dialect = connection->dialect();
  const std::string key = dialect.IncreasingKeyType();
  const std::string small_integer = dialect.SmallIntegerType();
  if (key.empty()) {
    return Status::Error("no schema is known for " + connection->dbms_name() +
                         "; create the tables by hand");
  }
  auto q = [connection](const char* name) { return connection->Quote(name); };
  auto text_columns = [&q](std::vector<const char*> names) {
    std::string columns;
    for (const char* name : names) columns += ", " + q(name) + " TEXT";
    return columns;
  };
  const std::vector<std::string> statements = {
      "CREATE TABLE IF NOT EXISTS " + q("MailingList") + " (" + q("ID") + " " + key +
          text_columns({"Name", "E-Mail", "MailingAddress"}) + ", " + q("BraSize") + " " +
          small_integer + text_columns({"DateCreated", "IPAddress"}) + ")",
      "CREATE INDEX IF NOT EXISTS " + q("MailingList_E-Mail") + " ON " + q("MailingList") + " (" +
          q("E-Mail") + ")",
      "CREATE TABLE IF NOT EXISTS " + q("DeletedList") + " (" + q("ID") + " " + key +
          text_columns({"DeleterName", "Name", "E-Mail", "DateCreated", "DateDeleted",
                        "IPCreatedFrom", "IPDeletedFrom"}) +
          ")",
  };
  for (const std::string& sql : statements) {
    database::Statement statement;
    if (Status status = statement.Execute(connection->handle(), sql, {}); !status.ok()) {
      return status;
    }
  }
  return mailbox::CreateListMailTable(connection);
}

Status CreateTables(const std::string& connection_string) {
  database::Connection connection;
  Status status = connection.Open(connection_string);
  if (status.ok()) status = CreateTables(&connection);
  Status closed = connection.Close();
  return status.ok() ? closed : status;
}

}  // namespace verdanpost::mailinglist
