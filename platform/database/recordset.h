#ifndef VERDANPOST_PLATFORM_DATABASE_RECORDSET_H_
#define VERDANPOST_PLATFORM_DATABASE_RECORDSET_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/database/appended_rows.h"
#include "platform/database/connection.h"
#include "platform/database/snapshot_cursor.h"
#include "platform/database/statement.h"
#include "platform/database/status.h"
#include "platform/database/value.h"

namespace verdanpost::database {

// A statement over one table: the rows whose |where_column| equals
// |where_value| (every row when |where_column| is empty), read in
// |columns| (every column when empty). The value is bound as a parameter;
// with |ignore_case| letter case does not count (SqlDialect's
// EqualsIgnoringCase).
struct Select {
  std::string table;
  std::vector<std::string> columns;
  std::string where_column;
  Value where_value;
  bool ignore_case = false;
};

// A static record set over one table: it holds the rows there were at Open,
// in the order of their row key (insertion order for an increasing key),
// plus the rows appended through it, which stand last. RecordCount is exact;
// AddNew and Delete reach the table at once. The Connection must stay open
// while the record set is used.
//
// It is made of three pieces, each with one job: a SnapshotCursor over the
// rows held since Open, AppendedRows with the rows appended since, and the
// writes of table_writer.h. The record set walks the first, then the second.
class Recordset {
 public:
  Recordset() = default;
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  // Opens on every row of |table|, positioned on the first row.
  Status Open(const std::string& table, Connection* connection);
  Status Open(const Select& select, Connection* connection);
  Status Close();
  bool is_open() const { return connection_ != nullptr; }

  // True once the position has passed the last row; at once when empty.
  bool eof() const { return in_appended_ ? !appended_.valid() : !snapshot_.valid(); }
  Status RecordCount(int64_t* count);
  // The current row's value of column |name|; nullopt for null.
  Status Fields(std::string_view name, std::optional<std::string>* value) const;

  // Writes one row with |values| in |fields| and makes it the current row,
  // the last of the record set.
  Status AddNew(const std::vector<std::string>& fields, const std::vector<Value>& values);
  // Back to the first row held (the first row appended when none is), so
  // that the rows of a lookup can be walked again.
  Status MoveFirst();
  // The next row: the rows held since Open, then the rows appended.
  Status MoveNext();
  // Deletes the current row, and only it, from the table.
  Status Delete();
  // Deletes the |rows| oldest rows of the table, never the current row:
  // the first by |by_column| (nulls first, as the oldest), then by row key.
  // RecordCount follows; rows already read stay readable.
  Status DeleteOldest(const std::string& by_column, int64_t rows);

 private:
  // Moves into the appended rows once the snapshot is passed.
  void EnterAppendedIfPast();
  const std::string* Current() const;
  Status CheckOpen() const;

  Connection* connection_ = nullptr;
  const TableInfo* table_ = nullptr;  // owned by the connection
  std::vector<std::string> columns_;  // names of the record set's columns
  std::string select_list_;           // the columns after the key: "*" or names
  SnapshotCursor snapshot_;
  AppendedRows appended_;
  bool in_appended_ = false;      // the position is among the appended rows
  bool current_deleted_ = false;  // the current row was deleted through Delete
  std::optional<int64_t> count_;  // unknown until first asked
};

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_RECORDSET_H_
