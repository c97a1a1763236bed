#ifndef VERDANPOST_PLATFORM_DATABASE_STATEMENT_H_
#define VERDANPOST_PLATFORM_DATABASE_STATEMENT_H_

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/database/odbc_handle.h"
#include "platform/database/value.h"

namespace verdanpost::database {

class Connection;

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
  ~Statement();

  // Runs |sql| within |connection|'s time limit (Connection::Wait); the
  // connection must outlive the statement.
  Status Execute(const Connection& connection, const std::string& sql,
                 const std::vector<Parameter>& parameters);
  // Runs |sql| on a bare connection handle, waiting for as long as it
  // takes: for tools and tests that set up a database.
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

  Status Bind(SQLHDBC connection, const std::vector<Parameter>& parameters);

  // Parameter buffers; a deque keeps addresses stable while binding. Shared
  // with a call that may outlive the statement (see CallGate).
  struct Buffers {
    std::deque<std::string> texts;
    std::deque<int64_t> integers;
    std::deque<SQLLEN> indicators;
  };

  StatementHandle handle_;
  std::shared_ptr<Buffers> buffers_ = std::make_shared<Buffers>();
  const Connection* connection_ = nullptr;  // when executed within its time limit
};

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_STATEMENT_H_
