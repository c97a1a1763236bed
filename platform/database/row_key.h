#ifndef VERDANPOST_PLATFORM_DATABASE_ROW_KEY_H_
#define VERDANPOST_PLATFORM_DATABASE_ROW_KEY_H_

#include <string>
#include <vector>

#include "platform/database/statement.h"
#include "platform/database/status.h"

namespace verdanpost::database {

// What tells one row of a table from every other: one or more key parts,
// each read by an SQL expression and compared with a bound value. A row's
// key travels packed (packed_row.h), its parts in order, ahead of the row's
// columns.
class RowKey {
 public:
  struct Part {
    std::string column;        // as the operator knows it, for messages
    std::string read;          // the expression selected and compared
    std::string order;         // the expression rows are ordered by
    std::string placeholder;   // "?", or an expression around it
    SQLSMALLINT sql_type = 0;  // the type the driver described; 0 unknown
  };

  RowKey() = default;
  // |ordered|: whether "greater than" on the read expressions follows the
  // order of OrderList(), so that rows can be paged by their key.
  // |own_identifier|: the key is the back end's own row identifier (SQLite's
  // rowid, PostgreSQL's ctid) rather than declared columns.
  RowKey(std::string table, std::vector<Part> parts, bool ordered, bool own_identifier = false);

  size_t size() const { return parts_.size(); }
  bool empty() const { return parts_.empty(); }
  bool ordered() const { return ordered_; }
  bool own_identifier() const { return own_identifier_; }
  const std::vector<Part>& parts() const { return parts_; }
  void set_sql_type(size_t part, SQLSMALLINT type) { parts_[part].sql_type = type; }

  // "a, b", the read expressions, for a select list.
  std::string ReadList() const;
  // "a, b" (or "a DESC, b DESC"), for ORDER BY.
  std::string OrderList(bool descending) const;
  // "a op ?" or "(a, b) op (?, ?)".
  std::string Compare(const char* op) const;
  // "a" or "(a, b)", to stand before IN.
  std::string Tuple() const;
  // Adds the parameters of Compare() for the key at the start of |packed|.
  // A key with a null part matches no row, so it cannot stand for one: the
  // result then says so, naming the table and the column.
  Status AddParameters(const std::string& packed, std::vector<Parameter>* out) const;

 private:
  std::string table_;
  std::vector<Part> parts_;
  bool ordered_ = true;
  bool own_identifier_ = false;
};

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_ROW_KEY_H_
