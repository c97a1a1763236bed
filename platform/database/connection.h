#ifndef VERDANPOST_PLATFORM_DATABASE_CONNECTION_H_
#define VERDANPOST_PLATFORM_DATABASE_CONNECTION_H_

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/database/odbc_handle.h"
#include "platform/database/row_key.h"
#include "platform/database/sql_dialect.h"
#include "platform/database/status.h"

namespace verdanpost::database {

// What the connection learned of one table: the key that tells its rows
// apart and its columns, in table order.
struct TableInfo {
  std::string name;
  RowKey key;
  std::vector<std::string> columns;
};

// One open connection to an ODBC data source. Close every Recordset opened
// on it before closing it; the destructor disconnects quietly.
class Connection {
 public:
  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // A connection string without "=" names a data source ("vestro"); one
  // with keywords goes to the driver manager as it is.
  Status Open(const std::string& connection_string);
  Status Close();
  bool is_open() const { return dbc_.get() != nullptr; }

  // What the driver calls the database product (SQL_DBMS_NAME).
  const std::string& dbms_name() const { return dbms_name_; }
  // The SQL dialect of the database, known once the connection is open.
  const SqlDialect& dialect() const { return dialect_; }
  // |identifier| quoted for this database.
  std::string Quote(std::string_view identifier) const { return dialect_.Quote(identifier); }

  // The key and columns of |table|, learned once per connection. *info
  // stays valid until the connection closes.
  Status DescribeTable(const std::string& table, const TableInfo** info);

  // Ok when |table| has every column in |names|; otherwise names the first
  // one missing. (An unknown double-quoted name reads as a text literal on
  // SQLite, so a statement would not fail on it.)
  Status CheckColumns(const TableInfo& table, const std::vector<std::string>& names) const;

  SQLHDBC handle() const { return dbc_.get(); }

 private:
  Status ReadInfo();
  Status ChooseRowKey(const std::string& table, RowKey* key);
  Status SQLiteRowKey(const std::string& table, RowKey* key);
  Status PostgreSQLRowKey(const std::string& table, RowKey* key);
  Status DeclaredRowKey(const std::string& table, RowKey* key);
  Status PrimaryKey(const std::string& table, std::vector<std::string>* columns);
  Status BestRowId(const std::string& table, std::vector<std::string>* columns);

  EnvironmentHandle env_;
  ConnectionHandle dbc_;
  std::string dbms_name_;
  SqlDialect dialect_;
  std::map<std::string, TableInfo> tables_;
};

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_CONNECTION_H_
