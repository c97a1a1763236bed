#include "console/mailinglist/list_schema.h"

#include <optional>
#include <string>
#include <vector>

#include "console/mailbox/list_mail.h"
#include "platform/database/packed_row.h"
#include "platform/database/query.h"
#include "platform/database/statement.h"

namespace verdanpost::mailinglist {

using database::Status;

namespace {

constexpr char kUniqueIndex[] = "MailingList_E-Mail_unique";

Status Run(database::Connection* connection, const std::string& sql) {
  return database::ExecuteChange(*connection, sql, {}, nullptr);
}

// Whether |table| exists in the connection's own schema.
Status TableExists(database::Connection* connection, const char* table, bool* exists) {
  int64_t count = 0;
  Status status = database::QueryNumber(*connection, connection->dialect().TableExistsQuery(),
                                        {{database::Value::Text(table), 0}}, &count);
  *exists = count > 0;
  return status;
}

// The address compared without regard to letter case, as Add and Delete
// compare it.
std::string FoldedAddress(database::Connection* connection) {
  return connection->dialect().CaseFolded(connection->Quote("E-Mail"));
}

}  // namespace

Status CreateTables(database::Connection* connection) {
  const database::SqlDialect& dialect = connection->dialect();
  const std::string key = dialect.IncreasingKeyType();
  const std::string small_integer = dialect.SmallIntegerType();
  if (key.empty()) {
    return Status::Error("no schema is known for " + connection->dbms_name() +
                         "; create the tables by hand");
  }
  bool had_list = false;
  if (Status status = TableExists(connection, "MailingList", &had_list); !status.ok()) {
    return status;
  }
  auto q = [connection](const char* name) { return connection->Quote(name); };
  auto text_columns = [&q](std::vector<const char*> names) {
    std::string columns;
    for (const char* name : names) columns += ", " + q(name) + " TEXT";
    return columns;
  };
  // A list made here holds each address once, letter case aside, whoever
  // writes it; an operator's own list keeps its plain index until
  // AddUniqueAddressIndex is asked for.
  const std::string address_index =
      had_list ? "CREATE INDEX IF NOT EXISTS " + q("MailingList_E-Mail") + " ON " +
                     q("MailingList") + " (" + q("E-Mail") + ")"
               : "CREATE UNIQUE INDEX IF NOT EXISTS " + q(kUniqueIndex) + " ON " +
                     q("MailingList") + " (" + FoldedAddress(connection) + ")";
  const std::vector<std::string> statements = {
      "CREATE TABLE IF NOT EXISTS " + q("MailingList") + " (" + q("ID") + " " + key +
          text_columns({"Name", "E-Mail", "MailingAddress"}) + ", " + q("BraSize") + " " +
          small_integer + text_columns({"DateCreated", "IPAddress"}) + ")",
      address_index,
      "CREATE TABLE IF NOT EXISTS " + q("DeletedList") + " (" + q("ID") + " " + key +
          text_columns({"DeleterName", "Name", "E-Mail", "DateCreated", "DateDeleted",
                        "IPCreatedFrom", "IPDeletedFrom"}) +
          ")",
  };
  for (const std::string& sql : statements) {
    if (Status status = Run(connection, sql); !status.ok()) return status;
  }
  return mailbox::CreateListMailTable(connection);
}

Status FindSharedAddresses(database::Connection* connection, std::vector<SharedAddress>* shared) {
  shared->clear();
  const std::string folded = FoldedAddress(connection);
  const std::string address = connection->Quote("E-Mail");
  const std::string list = connection->Quote("MailingList");
  // Every row whose address another row shares, grouped by the address;
  // lower() folds as the dialect's comparison does (ASCII on SQLite).
  std::vector<std::string> rows;
  Status status = database::QueryRows(
      *connection,
      "SELECT lower(" + address + "), " + address + " FROM " + list + " WHERE " + folded +
          " IN (SELECT " + folded + " FROM " + list + " WHERE " + address +
          " IS NOT NULL GROUP BY " + folded + " HAVING COUNT(*) > 1) ORDER BY 1, 2",
      {}, &rows);
  if (!status.ok()) return status;
  std::string group;
  for (const std::string& row : rows) {
    const std::string folded_row = database::UnpackField(row, 0).value_or("");
    if (shared->empty() || folded_row != group) shared->emplace_back();
    group = folded_row;
    shared->back().push_back(database::UnpackField(row, 1).value_or(""));
  }
  return Status::OK();
}

Status AddUniqueAddressIndex(database::Connection* connection, std::vector<SharedAddress>* shared) {
  Status status = FindSharedAddresses(connection, shared);
  if (!status.ok() || !shared->empty()) return status;
  return Run(connection, "CREATE UNIQUE INDEX IF NOT EXISTS " + connection->Quote(kUniqueIndex) +
                             " ON " + connection->Quote("MailingList") + " (" +
                             FoldedAddress(connection) + ")");
}

Status CreateTables(const std::string& connection_string) {
  database::Connection connection;
  Status status = connection.Open(connection_string);
  if (status.ok()) status = CreateTables(&connection);
  Status closed = connection.Close();
  return status.ok() ? closed : status;
}

}  // namespace verdanpost::mailinglist
