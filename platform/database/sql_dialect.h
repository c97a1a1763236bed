#ifndef VERDANPOST_PLATFORM_DATABASE_SQL_DIALECT_H_
#define VERDANPOST_PLATFORM_DATABASE_SQL_DIALECT_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace verdanpost::database {

// The SQL dialects whose statements this layer writes differently.
enum class Dialect { kSQLite, kPostgreSQL, kOther };

// Everything this layer writes differently for SQLite and PostgreSQL, in one
// place. The Connection learns it from the driver when it opens and owns it;
// everything else asks it rather than testing the back end itself.
class SqlDialect {
 public:
  SqlDialect() = default;
  // |dbms_name| as the driver reports it; |quote| is the driver's identifier
  // quote character (a blank or empty when identifiers are not quoted).
  SqlDialect(std::string_view dbms_name, std::string quote);

  Dialect kind() const { return kind_; }

  // |identifier| in the driver's quote character, embedded quotes doubled.
  std::string Quote(std::string_view identifier) const;
  // Whether two column names name the same column: SQLite ignores ASCII
  // case, a quoted PostgreSQL name is exact.
  bool SameColumn(std::string_view a, std::string_view b) const;
  // " LIMIT |rows|".
  std::string Limit(size_t rows) const;

  // The placeholder for a value compared with |read|, a row identity's read
  // expression: PostgreSQL's row identifier has a type of its own, which
  // text converts to.
  std::string Placeholder(std::string_view read) const;
  // PostgreSQL's own row identifier, present in every table ("ctid"); empty
  // for the others (SQLite's depends on the table).
  std::string SystemRowIdentifier() const;

  // SQLite's catalogue of one table, its name bound to the one parameter:
  // every column's name and place in the primary key (0 when not in it),
  // and whether the table was declared WITHOUT ROWID (1) or not (0).
  std::string ColumnsQuery() const;
  std::string WithoutRowidQuery() const;
  // The names SQLite reads a table's rowid by, unless a column has taken
  // one of them.
  std::vector<std::string> RowidNames() const;

  // An expression that reads |column| (quoted) as text exactly, floating-
  // point values included, for a key compared by equality alone: SQLite's
  // quote(), whose text also tells 1 from 1.0 and '1'. Empty when the
  // dialect has none.
  std::string ExactText(const std::string& column) const;
  // " NULLS FIRST" after an ascending ORDER BY term, where the dialect has
  // it (PostgreSQL puts nulls last unless told).
  std::string NullsFirst() const;

  // Whether rows can be appended and read back (SQLite or PostgreSQL).
  bool CanAppend() const { return kind_ != Dialect::kOther; }
  // Whether INSERT ... RETURNING hands the row back. The SQLite driver
  // returns no rows from it, so there the row is found again by its rowid.
  bool InsertReturnsRows() const { return kind_ == Dialect::kPostgreSQL; }
  // SQLite: the condition that finds the row the last insert wrote, by the
  // table's rowid under the name |rowid|.
  std::string LastInsertCondition(const std::string& rowid) const;
  // SQLite, for a table without rowid: statements that make the next insert
  // into |table| record the ExactText of its |key_columns| in the row it
  // writes, one row per column in a temporary table of this connection; the
  // query that reads them back in column order, and the statement that ends
  // the recording.
  std::vector<std::string> StartKeyCapture(const std::string& table,
                                           const std::vector<std::string>& key_columns) const;
  std::string CapturedKeyQuery() const;
  std::string StopKeyCapture() const;

  // Column types of the list schema: a key that grows with every insert,
  // and a small integer. Empty for a dialect without a known schema.
  std::string IncreasingKeyType() const;
  std::string SmallIntegerType() const;

  // |quoted_column| compared with one parameter without regard to letter
  // case, in a form an index on CaseFolded(|quoted_column|) serves.
  std::string EqualsIgnoringCase(const std::string& quoted_column) const;
  // |quoted_column| as an index, GROUP BY or ORDER BY term that ignores
  // letter case: SQLite's NOCASE collation (ASCII letters), PostgreSQL's
  // lower().
  std::string CaseFolded(const std::string& quoted_column) const;
  // A query whose one row counts the tables named by its one parameter in
  // the connection's own schema.
  std::string TableExistsQuery() const;
  // The statements that open a transaction holding the write lock of
  // |quoted_table| until it ends (COMMIT or ROLLBACK): readers go on, and
  // a second writer waits up to |wait_seconds| for it. SQLite locks the
  // whole database for writing.
  std::vector<std::string> BeginWriteLock(const std::string& quoted_table, int wait_seconds) const;

 private:
  Dialect kind_ = Dialect::kOther;
  std::string quote_;  // empty when the driver does not quote identifiers
};

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_SQL_DIALECT_H_
