#ifndef VERDANPOST_PLATFORM_DATABASE_STATEMENT_H_
#define VERDANPOST_PLATFORM_DATABASE_STATEMENT_H_

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/database/odbc_handle.h"
#include "platform/database/value.h"

namespace verdanpost::database {

// A parameter: a value and, when not zero, the SQL type to bind text as (the
// type the driver described for the column it is compared with).
struct Parameter {
  Value value;
  SQLSMALLINT sql_type = 0;
};

// One executed statement with its bound parameters and its result, read as
// text. Lives inside the function that runs it.
class Statement {
 public:
  Statement() = default;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Status Execute(SQLHDBC connection, const std::string& sql,
                 const std::vector<Parameter>& parameters);
  // Number of result columns, their names and SQL types (after Execute).
  Status Describe(std::vector<std::string>* names, std::vector<SQLSMALLINT>* types);
  // Moves to the next result row; *has_row false at the end.
  Status Fetch(bool* has_row);
  // Column |column| (from 1) of the current row as text; nullopt for null.
  Status GetText(SQLUSMALLINT column, std::optional<std::string>* value);
  // Rows changed by an INSERT, UPDATE or DELETE.
  Status RowCount(SQLLEN* rows);

 private:
  Status Error() const { return OdbcError(SQL_HANDLE_STMT, handle_.get()); }

  StatementHandle handle_;
  // Parameter buffers; a deque keeps addresses stable while binding.
  std::deque<std::string> texts_;
  std::deque<int64_t> integers_;
  std::deque<SQLLEN> indicators_;
};

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_STATEMENT_H_
