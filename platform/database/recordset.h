#ifndef VERDANPOST_PLATFORM_DATABASE_RECORDSET_H_
#define VERDANPOST_PLATFORM_DATABASE_RECORDSET_H_

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/database/connection.h"
#include "platform/database/statement.h"
#include "platform/database/status.h"
#include "platform/database/value.h"

namespace verdanpost::database {

// A statement over one table: the rows whose |where_column| equals
// |where_value| (every row when |where_column| is empty), read in
// |columns| (every column when empty). The value is bound as a parameter.
struct Select {
  std::string table;
  std::vector<std::string> columns;
  std::string where_column;
  Value where_value;
};

// A static record set over one table: it holds the rows there were at Open,
// in the order of their row identity (insertion order for an increasing
// key), plus the rows appended through it, which stand last. RecordCount is
// exact; AddNew and Delete reach the table at once. Rows are fetched in
// growing pages (LIMIT) as the position moves, so what is never visited is
// never read. The Connection must stay open while the record set is used.
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
  bool eof() const { return eof_; }
  Status RecordCount(int64_t* count);
  // The current row's value of column |name|; nullopt for null.
  Status Fields(std::string_view name, std::optional<std::string>* value) const;

  // Writes one row with |values| in |fields| and makes it the current row,
  // the last of the record set.
  Status AddNew(const std::vector<std::string>& fields, const std::vector<Value>& values);
  // Back to the first row held (the first row appended when none is).
  Status MoveFirst();
  Status MoveLast();
  Status MoveNext();
  // Deletes the current row, and only it, from the table.
  Status Delete();

 private:
  struct AppendedRow {
    std::string packed;
    bool deleted = false;
  };

  std::string KeyList(bool descending) const;
  std::string KeyCompare(const char* op) const;
  void AddKeyParameters(const std::string& packed, std::vector<Parameter>* out) const;
  std::string SnapshotWhere(bool pages) const;
  std::string SelectList() const;
  std::string BoundedWhere(std::vector<Parameter>* parameters) const;
  Status Query(const std::string& sql, const std::vector<Parameter>& parameters,
               std::vector<std::string>* rows, bool learn_columns);
  Status FetchPage();
  Status EnterAppended(size_t from);
  const std::string* Current() const;
  Status CheckOpen() const;

  Connection* connection_ = nullptr;
  Select select_;
  std::vector<std::string> key_;      // the table's row identity columns
  std::vector<int16_t> key_types_;    // their SQL types, once described
  std::vector<std::string> columns_;  // names of the record set's columns
  std::optional<std::string> bound_;  // packed key of the last row at Open
  std::vector<std::string> page_;     // packed rows: key columns, then columns_
  size_t page_position_ = 0;
  size_t page_size_ = 0;
  bool snapshot_done_ = true;
  std::vector<AppendedRow> appended_;
  std::set<std::string> appended_keys_;  // packed keys of appended_
  bool in_appended_ = false;
  size_t appended_position_ = 0;
  bool eof_ = true;
  bool current_deleted_ = false;
  std::optional<int64_t> count_;  // unknown until first asked
};

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_RECORDSET_H_
