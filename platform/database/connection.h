#ifndef VERDANPOST_PLATFORM_DATABASE_CONNECTION_H_
#define VERDANPOST_PLATFORM_DATABASE_CONNECTION_H_

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/database/call_gate.h"
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
//
// With a time limit, logging in and every statement end within it: the
// driver is asked to keep it (login and query time-outs), and the calls
// that wait for the database run through a CallGate, which stops waiting
// when a driver does not (a PostgreSQL server that is stopped, not gone).
// Such a call gives Status::TimedOut, and the connection is then done
// with: it is closed, and what the call had begun is rolled back once the
// database answers it. Cancel() ends the wait the same way.
class Connection {
 public:
  Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();

  // How long to wait for the database to log in and to answer each
  // statement; zero, the default, waits for as long as it takes. Set before
  // Open().
  void set_time_limit(std::chrono::seconds limit);
  std::chrono::seconds time_limit() const { return time_limit_; }

  // A connection string without "=" names a data source ("vestro"); one
  // with keywords goes to the driver manager as it is.
  Status Open(const std::string& connection_string);
  Status Close();
  // False from the moment a call did not return in time or was cancelled.
  bool is_open() const { return dbc_.get() != nullptr && !gate_->broken(); }

  // Ends the wait for the database of the call running now and of every
  // later one, which give Status::Cancelled. May be called from any thread.
  void Cancel() { gate_->Cancel(); }
  // |cancelled| is asked while the database is waited for, and true ends
  // the wait as Cancel() does (see CallGate::set_cancel_check). Set after
  // set_time_limit(), before Open().
  void set_cancel_check(std::function<bool()> cancelled) {
    gate_->set_cancel_check(std::move(cancelled));
  }

  // Runs |call|, which waits for the database, through the connection's
  // gate: ok when it returned, else TimedOut or Cancelled, and the
  // connection is no longer open (Close() or the destructor hands its
  // handles over, see Abandon()). |call| owns or shares all it touches but the
  // connection's handles (see CallGate::Run).
  Status Wait(std::function<void()> call) const;
  // Frees |statement|, now or, after a call that did not return, once it
  // has (see CallGate::Defer); |keep| lives until then.
  void FreeStatement(StatementHandle statement, std::shared_ptr<const void> keep = nullptr) const;
  // Runs |write| in a transaction of its own when the connection commits
  // each statement by itself, so that a write whose answer never came is
  // rolled back rather than done later; within the caller's transaction, as
  // it is.
  Status InTransaction(const std::function<Status()>& write) const;
  // Whether a transaction opened by statements (WriteLock's BEGIN) is open:
  // the driver, still committing each statement by itself as far as it
  // knows, cannot tell.
  void set_in_statement_transaction(bool open) { in_statement_transaction_ = open; }

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

  // Hands the handles to the gate's thread, which rolls back, disconnects
  // and frees them once the call that did not return has.
  void Abandon();

  std::chrono::seconds time_limit_{0};
  std::shared_ptr<CallGate> gate_;
  EnvironmentHandle env_;
  ConnectionHandle dbc_;
  std::string dbms_name_;
  SqlDialect dialect_;
  std::map<std::string, TableInfo> tables_;
  bool in_statement_transaction_ = false;
};

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_CONNECTION_H_
