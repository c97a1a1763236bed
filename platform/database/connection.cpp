#include "platform/database/connection.h"

#include <charconv>
#include <cstdint>
#include <utility>

#include "platform/database/packed_row.h"
#include "platform/database/query.h"
#include "platform/database/statement.h"

namespace verdanpost::database {
namespace {

Status GetInfoText(SQLHDBC dbc, SQLUSMALLINT info, std::string* text) {
  char buffer[256] = {};
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetInfo(dbc, info, buffer, sizeof(buffer), &length))) {
    return OdbcError(SQL_HANDLE_DBC, dbc);
  }
  *text = buffer;
  return Status::OK();
}

SQLCHAR* Chars(const std::string& text) {
  return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str()));
}

}  // namespace

Connection::Connection() : gate_(std::make_shared<CallGate>()) {}

Connection::~Connection() {
  if (gate_->broken()) Abandon();
}

void Connection::set_time_limit(std::chrono::seconds limit) {
  time_limit_ = limit;
  // A second longer than the driver's own time-outs, which end a call more
  // cleanly where the driver keeps them.
  gate_ = std::make_shared<CallGate>(limit.count() > 0 ? limit + std::chrono::seconds(1) : limit);
}

Status Connection::Wait(std::function<void()> call) const {
  switch (gate_->Run(std::move(call))) {
    case CallGate::Ending::kDone:
      return Status::OK();
    case CallGate::Ending::kTimedOut:
      return Status::TimedOut("the database did not answer within " +
                              std::to_string(time_limit_.count()) + " seconds");
    case CallGate::Ending::kCancelled:
      break;
  }
  return Status::Cancelled("the wait for the database was cancelled");
}

void Connection::Abandon() {
  tables_.clear();
  SQLHDBC dbc = dbc_.release();
  SQLHENV env = env_.release();
  if (dbc == nullptr && env == nullptr) return;
  gate_->Defer([dbc, env] {
    if (dbc != nullptr) {
      SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
      SQLDisconnect(dbc);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    if (env != nullptr) SQLFreeHandle(SQL_HANDLE_ENV, env);
  });
}

void Connection::FreeStatement(StatementHandle statement, std::shared_ptr<const void> keep) const {
  if (!gate_->broken()) return;  // |statement| frees itself on return
  SQLHSTMT handle = statement.release();
  gate_->Defer([handle, keep = std::move(keep)] {
    if (handle != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, handle);
  });
}

Status Connection::InTransaction(const std::function<Status()>& write) const {
  if (!is_open()) return Status::Invalid("the connection is closed");
  if (in_statement_transaction_) return write();
  SQLULEN autocommit = SQL_AUTOCOMMIT_ON;
  if (!SQL_SUCCEEDED(SQLGetConnectAttr(dbc_.get(), SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr)) ||
      autocommit == SQL_AUTOCOMMIT_OFF) {
    return write();
  }
  if (!SQL_SUCCEEDED(SQLSetConnectAttr(dbc_.get(), SQL_ATTR_AUTOCOMMIT,
                                       reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0))) {
    return OdbcError(SQL_HANDLE_DBC, dbc_.get());
  }
  Status status = write();
  if (!is_open()) return status;  // rolled back once the database answers
  auto rc = std::make_shared<SQLRETURN>(SQL_ERROR);
  SQLHDBC dbc = dbc_.get();
  const SQLSMALLINT end = status.ok() ? SQL_COMMIT : SQL_ROLLBACK;
  Status ended = Wait([rc, dbc, end] { *rc = SQLEndTran(SQL_HANDLE_DBC, dbc, end); });
  if (!ended.ok()) return status.ok() ? ended : status;
  if (!SQL_SUCCEEDED(*rc) && status.ok()) status = OdbcError(SQL_HANDLE_DBC, dbc);
  SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
  return status;
}

Status Connection::Open(const std::string& connection_string) {
  if (is_open()) return Status::Invalid("the connection is already open");
  if (gate_->broken()) return Status::Invalid("the connection is closed");
  if (Status status = env_.Allocate(); !status.ok()) return status;
  if (Status status = dbc_.Allocate(env_.get()); !status.ok()) {
    env_.Reset();
    return status;
  }
  if (time_limit_.count() > 0) {
    SQLPOINTER seconds = reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(time_limit_.count()));
    SQLSetConnectAttr(dbc_.get(), SQL_ATTR_LOGIN_TIMEOUT, seconds, 0);
    SQLSetConnectAttr(dbc_.get(), SQL_ATTR_CONNECTION_TIMEOUT, seconds, 0);
  }
  auto rc = std::make_shared<SQLRETURN>(SQL_ERROR);
  SQLHDBC dbc = dbc_.get();
  const bool named = connection_string.find('=') == std::string::npos;
  Status waited = Wait([rc, dbc, named, text = connection_string] {
    if (named) {
      *rc = SQLConnect(dbc, Chars(text), SQL_NTS, nullptr, 0, nullptr, 0);
    } else {
      *rc = SQLDriverConnect(dbc, nullptr, Chars(text), SQL_NTS, nullptr, 0, nullptr,
                             SQL_DRIVER_NOPROMPT);
    }
  });
  if (!waited.ok()) return waited;
  Status status = SQL_SUCCEEDED(*rc) ? Status::OK() : OdbcError(SQL_HANDLE_DBC, dbc_.get());
  if (status.ok()) {
    dbc_.set_connected();
    status = ReadInfo();
  }
  if (!status.ok()) {
    dbc_.Reset();
    env_.Reset();
  }
  return status;
}

Status Connection::ReadInfo() {
  if (Status status = GetInfoText(dbc_.get(), SQL_DBMS_NAME, &dbms_name_); !status.ok()) {
    return status;
  }
  std::string quote;
  if (Status status = GetInfoText(dbc_.get(), SQL_IDENTIFIER_QUOTE_CHAR, &quote); !status.ok()) {
    return status;
  }
  dialect_ = SqlDialect(dbms_name_, std::move(quote));
  tables_.clear();
  return Status::OK();
}

Status Connection::Close() {
  if (gate_->broken()) Abandon();
  if (!is_open()) return Status::OK();
  Status status = dbc_.Disconnect();
  env_.Reset();
  tables_.clear();
  return status;
}

Status Connection::DescribeTable(const std::string& table, const TableInfo** info) {
  if (!is_open()) return Status::Invalid("the connection is closed");
  if (auto found = tables_.find(table); found != tables_.end()) {
    *info = &found->second;
    return Status::OK();
  }
  TableInfo described{table, {}, {}};
  if (Status status = ChooseRowKey(table, &described.key); !status.ok()) return status;
  if (described.key.empty()) {
    return Status::Invalid("The rows of the table " + table +
                           " cannot be told apart: it has no primary key and no row identifier.");
  }
  // One empty select tells the key's types and the table's columns.
  Statement statement;
  std::vector<std::string> names;
  std::vector<SQLSMALLINT> types;
  Status status = statement.Execute(
      *this, "SELECT " + described.key.ReadList() + ", * FROM " + Quote(table) + " WHERE 1 = 0",
      {});
  if (status.ok()) status = statement.Describe(&names, &types);
  if (!status.ok()) return status;
  const size_t key_size = described.key.size();
  for (size_t i = 0; i < key_size && i < types.size(); ++i) described.key.set_sql_type(i, types[i]);
  if (names.size() > key_size) described.columns.assign(names.begin() + key_size, names.end());
  *info = &tables_.emplace(table, std::move(described)).first->second;
  return Status::OK();
}

Status Connection::CheckColumns(const TableInfo& table,
                                const std::vector<std::string>& names) const {
  for (const std::string& name : names) {
    bool found = false;
    for (const std::string& column : table.columns) {
      found = found || dialect_.SameColumn(column, name);
    }
    if (!found) return Status::NotFound("The table " + table.name + " has no column " + name + ".");
  }
  return Status::OK();
}

// The key must tell exactly one row: a value that is null, or a rounded
// text of a floating-point number, would match none or another one.
Status Connection::ChooseRowKey(const std::string& table, RowKey* key) {
  switch (dialect_.kind()) {
    case Dialect::kSQLite:
      return SQLiteRowKey(table, key);
    case Dialect::kPostgreSQL:
      return PostgreSQLRowKey(table, key);
    case Dialect::kOther:
      break;
  }
  return DeclaredRowKey(table, key);
}

// The rowid whenever the table has one, under a name no column hides;
// without rowid, the primary key, which SQLite then keeps free of nulls,
// read by its exact text and so compared by equality alone.
Status Connection::SQLiteRowKey(const std::string& table, RowKey* key) {
  std::vector<std::string> rows;
  Status status = QueryRows(*this, dialect_.ColumnsQuery(), {{Value::Text(table), 0}}, &rows);
  int64_t without_rowid = 0;
  if (status.ok()) {
    status =
        QueryNumber(*this, dialect_.WithoutRowidQuery(), {{Value::Text(table), 0}}, &without_rowid);
  }
  if (!status.ok()) return status;
  std::vector<std::string> names;
  std::map<int64_t, std::string> primary_key;
  for (const std::string& row : rows) {
    std::string name = UnpackField(row, 0).value_or("");
    int64_t position = 0;
    std::string pk = UnpackField(row, 1).value_or("0");
    std::from_chars(pk.data(), pk.data() + pk.size(), position);
    if (position > 0) primary_key[position] = name;
    names.push_back(std::move(name));
  }
  if (without_rowid == 0) {
    for (const std::string& alias : dialect_.RowidNames()) {
      bool hidden = false;
      for (const std::string& name : names) hidden = hidden || dialect_.SameColumn(name, alias);
      if (!hidden) {
        *key = RowKey(table, {{alias, alias, alias, "?"}}, true, true);
        return Status::OK();
      }
    }
  }
  std::vector<RowKey::Part> parts;
  for (const auto& [position, name] : primary_key) {
    parts.push_back({name, dialect_.ExactText(Quote(name)), Quote(name), "?"});
  }
  *key = RowKey(table, std::move(parts), false);
  return Status::OK();
}

// The primary key unless a part of it is a floating-point number, whose
// text may be rounded; else the row identifier every table has.
Status Connection::PostgreSQLRowKey(const std::string& table, RowKey* key) {
  std::vector<std::string> columns;
  if (Status status = PrimaryKey(table, &columns); !status.ok()) return status;
  if (columns.empty()) {
    // Not used, but the driver's catalog tells a missing table in its own
    // words here ("The specified table does not exist").
    std::vector<std::string> unused;
    if (Status status = BestRowId(table, &unused); !status.ok()) return status;
  }
  bool exact = !columns.empty();
  if (exact) {
    std::string list;
    for (const std::string& column : columns) list += (list.empty() ? "" : ", ") + Quote(column);
    Statement statement;
    std::vector<std::string> names;
    std::vector<SQLSMALLINT> types;
    Status status =
        statement.Execute(*this, "SELECT " + list + " FROM " + Quote(table) + " WHERE 1 = 0", {});
    if (status.ok()) status = statement.Describe(&names, &types);
    if (!status.ok()) return status;
    for (SQLSMALLINT type : types) {
      exact = exact && type != SQL_REAL && type != SQL_FLOAT && type != SQL_DOUBLE;
    }
  }
  std::vector<RowKey::Part> parts;
  if (exact) {
    for (const std::string& column : columns) {
      parts.push_back({column, Quote(column), Quote(column), "?"});
    }
  } else {
    const std::string own = dialect_.SystemRowIdentifier();
    parts.push_back({own, own, own, dialect_.Placeholder(own)});
  }
  *key = RowKey(table, std::move(parts), true, !exact);
  return Status::OK();
}

// Another database: the primary key, else the driver's best row
// identifier. Either may hold nulls, which RowKey refuses row by row, so
// rows are not paged on it.
Status Connection::DeclaredRowKey(const std::string& table, RowKey* key) {
  std::vector<std::string> columns;
  if (Status status = PrimaryKey(table, &columns); !status.ok()) return status;
  if (columns.empty()) {
    if (Status status = BestRowId(table, &columns); !status.ok()) return status;
  }
  std::vector<RowKey::Part> parts;
  for (const std::string& column : columns) {
    parts.push_back({column, Quote(column), Quote(column), "?"});
  }
  *key = RowKey(table, std::move(parts), false);
  return Status::OK();
}

Status Connection::PrimaryKey(const std::string& table, std::vector<std::string>* columns) {
  StatementHandle statement;
  if (Status status = statement.Allocate(dbc_.get()); !status.ok()) return status;
  auto listed = std::make_shared<SQLRETURN>(SQL_ERROR);
  Status waited = Wait([listed, handle = statement.get(), table] {
    *listed = SQLPrimaryKeys(handle, nullptr, 0, nullptr, 0, Chars(table), SQL_NTS);
  });
  if (!waited.ok()) {
    FreeStatement(std::move(statement));
    return waited;
  }
  if (!SQL_SUCCEEDED(*listed)) return OdbcError(SQL_HANDLE_STMT, statement.get());
  // Result columns: 4 COLUMN_NAME, 5 KEY_SEQ; rows come ordered by KEY_SEQ.
  std::map<int, std::string> by_sequence;
  for (;;) {
    SQLRETURN rc = SQLFetch(statement.get());
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) return OdbcError(SQL_HANDLE_STMT, statement.get());
    char name[256] = {};
    SQLLEN name_length = 0, sequence_length = 0;
    SQLSMALLINT sequence = 0;
    if (!SQL_SUCCEEDED(
            SQLGetData(statement.get(), 4, SQL_C_CHAR, name, sizeof(name), &name_length)) ||
        !SQL_SUCCEEDED(
            SQLGetData(statement.get(), 5, SQL_C_SSHORT, &sequence, 0, &sequence_length))) {
      return OdbcError(SQL_HANDLE_STMT, statement.get());
    }
    by_sequence[sequence] = name;
  }
  for (auto& [sequence, name] : by_sequence) columns->push_back(std::move(name));
  return Status::OK();
}

Status Connection::BestRowId(const std::string& table, std::vector<std::string>* columns) {
  StatementHandle statement;
  if (Status status = statement.Allocate(dbc_.get()); !status.ok()) return status;
  auto listed = std::make_shared<SQLRETURN>(SQL_ERROR);
  Status waited = Wait([listed, handle = statement.get(), table] {
    *listed = SQLSpecialColumns(handle, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, Chars(table),
                                SQL_NTS, SQL_SCOPE_SESSION, SQL_NULLABLE);
  });
  if (!waited.ok()) {
    FreeStatement(std::move(statement));
    return waited;
  }
  if (!SQL_SUCCEEDED(*listed)) return OdbcError(SQL_HANDLE_STMT, statement.get());
  for (;;) {
    SQLRETURN rc = SQLFetch(statement.get());
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) return OdbcError(SQL_HANDLE_STMT, statement.get());
    char name[256] = {};
    SQLLEN length = 0;
    // Column 2 is COLUMN_NAME.
    if (!SQL_SUCCEEDED(SQLGetData(statement.get(), 2, SQL_C_CHAR, name, sizeof(name), &length))) {
      return OdbcError(SQL_HANDLE_STMT, statement.get());
    }
    columns->emplace_back(name);
  }
  return Status::OK();
}

}  // namespace verdanpost::database
