#include "console/mailbox/list_mail.h"

#include <charconv>
#include <optional>

#include "platform/database/statement.h"

namespace verdanpost::mailbox {

using database::Parameter;
using database::Statement;
using database::Status;
using database::Value;

namespace {

const char* const kColumns[] = {"Address",      "Kind", "StatusCode", "StatusText",
                                "DateReported", "UID",  "Folder"};

std::string Column(database::Connection* connection, const char* name) {
  return connection->Quote(name);
}

Status Insert(database::Connection* connection, const std::vector<Finding>& findings);

bool KindFromName(const std::string& name, FindingKind* kind) {
  for (FindingKind k : {FindingKind::kHard, FindingKind::kSoft, FindingKind::kComplaint,
                        FindingKind::kUnsubscribe}) {
    if (name == KindName(k)) {
      *kind = k;
      return true;
    }
  }
  return false;
}

Status Text(Statement& statement, int column, std::string* text) {
  std::optional<std::string> value;
  Status status = statement.GetText(static_cast<SQLUSMALLINT>(column), &value);
  *text = value.value_or(std::string());
  return status;
}

}  // namespace

const char* KindName(FindingKind kind) {
  switch (kind) {
    case FindingKind::kHard:
      return "hard";
    case FindingKind::kSoft:
      return "soft";
    case FindingKind::kComplaint:
      return "complaint";
    case FindingKind::kUnsubscribe:
      return "unsubscribe";
  }
  return "";
}

Status CreateListMailTable(database::Connection* connection) {
  const std::string key = connection->dialect().IncreasingKeyType();
  if (key.empty()) {
    return Status::Error("no schema is known for " + connection->dbms_name() +
                         "; create the tables by hand");
  }
  auto q = [connection](const char* name) { return Column(connection, name); };
  std::string sql = "CREATE TABLE IF NOT EXISTS " + q(kListMail) + " (" + q("ID") + " " + key;
  for (const char* name : {"Address", "Kind", "StatusCode", "StatusText", "DateReported"}) {
    sql += ", " + q(name) + " TEXT";
  }
  sql += ", " + q("UID") + " BIGINT, " + q("Folder") + " TEXT, " + q("DateHandled") + " TEXT)";
  const std::string statements[] = {
      sql,
      "CREATE INDEX IF NOT EXISTS " + q("ListMail_Address") + " ON " + q(kListMail) + " (" +
          q("Address") + ")",
  };
  for (const std::string& text : statements) {
    Statement statement;
    if (Status status = statement.Execute(connection->handle(), text, {}); !status.ok()) {
      return status;
    }
  }
  return Status::OK();
}

Status AppendFindings(database::Connection* connection, const std::vector<Finding>& findings) {
  if (findings.empty()) return Status::OK();
  // One transaction for the lot: a commit of its own per row would wait
  // for the disk each time.
  SQLHDBC dbc = connection->handle();
  const bool in_transaction = SQL_SUCCEEDED(SQLSetConnectAttr(
      dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0));
  Status status = Insert(connection, findings);
  if (in_transaction) {
    SQLRETURN end = SQLEndTran(SQL_HANDLE_DBC, dbc, status.ok() ? SQL_COMMIT : SQL_ROLLBACK);
    if (status.ok() && !SQL_SUCCEEDED(end)) status = database::OdbcError(SQL_HANDLE_DBC, dbc);
    SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
  }
  return status;
}

namespace {

Status Insert(database::Connection* connection, const std::vector<Finding>& findings) {
  std::string names, marks;
  for (const char* name : kColumns) {
    names += (names.empty() ? "" : ", ") + Column(connection, name);
    marks += marks.empty() ? "?" : ", ?";
  }
  const std::string sql =
      "INSERT INTO " + Column(connection, kListMail) + " (" + names + ") VALUES (" + marks + ")";
  for (const Finding& f : findings) {
    Statement statement;
    Status status = statement.Execute(
        connection->handle(), sql,
        {Parameter{Value::Text(f.address)}, Parameter{Value::Text(KindName(f.kind))},
         Parameter{Value::Text(f.status_code)}, Parameter{Value::Text(f.status_text)},
         Parameter{Value::Text(f.date)}, Parameter{Value::Integer(f.uid)},
         Parameter{Value::Text(f.folder)}});
    if (!status.ok()) return status;
  }
  return Status::OK();
}

}  // namespace

Status ReadStoredUids(database::Connection* connection, const std::string& folder,
                      std::set<uint32_t>* uids) {
  uids->clear();
  Statement statement;
  Status status = statement.Execute(connection->handle(),
                                    "SELECT DISTINCT " + Column(connection, "UID") + " FROM " +
                                        Column(connection, kListMail) + " WHERE " +
                                        Column(connection, "Folder") + " = ?",
                                    {Parameter{Value::Text(folder)}});
  for (bool has_row = true; status.ok();) {
    status = statement.Fetch(&has_row);
    if (!status.ok() || !has_row) break;
    std::string text;
    status = Text(statement, 1, &text);
    uint32_t uid = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), uid).ec == std::errc()) {
      uids->insert(uid);
    }
  }
  return status;
}

Status ReadPendingFindings(database::Connection* connection, std::vector<Finding>* findings) {
  findings->clear();
  std::string names;
  for (const char* name : kColumns) names += (names.empty() ? "" : ", ") + Column(connection, name);
  Statement statement;
  Status status = statement.Execute(connection->handle(),
                                    "SELECT " + names + " FROM " + Column(connection, kListMail) +
                                        " WHERE " + Column(connection, "DateHandled") +
                                        " IS NULL ORDER BY " + Column(connection, "ID"),
                                    {});
  for (bool has_row = true; status.ok();) {
    status = statement.Fetch(&has_row);
    if (!status.ok() || !has_row) break;
    Finding f;
    std::string kind, uid;
    for (int column = 1; status.ok() && column <= 7; ++column) {
      std::string* into[] = {&f.address, &kind, &f.status_code, &f.status_text,
                             &f.date,    &uid,  &f.folder};
      status = Text(statement, column, into[column - 1]);
    }
    std::from_chars(uid.data(), uid.data() + uid.size(), f.uid);
    // A row written by hand with another kind is left to the operator.
    if (status.ok() && KindFromName(kind, &f.kind)) findings->push_back(std::move(f));
  }
  return status;
}

Status MarkAddressHandled(database::Connection* connection, const std::string& address,
                          const std::string& date) {
  Statement statement;
  return statement.Execute(connection->handle(),
                           "UPDATE " + Column(connection, kListMail) + " SET " +
                               Column(connection, "DateHandled") + " = ? WHERE " +
                               Column(connection, "DateHandled") + " IS NULL AND LOWER(" +
                               Column(connection, "Address") + ") = LOWER(?)",
                           {Parameter{Value::Text(date)}, Parameter{Value::Text(address)}});
}

}  // namespace verdanpost::mailbox
