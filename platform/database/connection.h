#ifndef VERDANPOST_PLATFORM_DATABASE_CONNECTION_H_
#define VERDANPOST_PLATFORM_DATABASE_CONNECTION_H_

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/database/odbc_handle.h"
#include "platform/database/status.h"

namespace verdanpost::database {

// The SQL dialects whose statements this layer writes differently.
enum class Dialect { kSQLite, kPostgreSQL, kOther };

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
  Dialect dialect() const { return dialect_; }
  // |identifier| in the driver's quote character, embedded quotes doubled.
  std::string Quote(std::string_view identifier) const;

  // The columns that identify a row of |table|: its primary key, else the
  // driver's best row identifier, else the back end's own row identifier.
  Status RowIdentity(const std::string& table, std::vector<std::string>* columns);

  SQLHDBC handle() const { return dbc_.get(); }

 private:
  Status ReadInfo();
  Status PrimaryKey(const std::string& table, std::vector<std::string>* columns);
  Status BestRowId(const std::string& table, std::vector<std::string>* columns);

  EnvironmentHandle env_;
  ConnectionHandle dbc_;
  std::string dbms_name_;
  Dialect dialect_ = Dialect::kOther;
  std::string quote_;  // empty when the driver does not quote identifiers
  std::map<std::string, std::vector<std::string>> identities_;
};

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_CONNECTION_H_
