#ifndef VERDANPOST_PLATFORM_DATABASE_SNAPSHOT_CURSOR_H_
#define VERDANPOST_PLATFORM_DATABASE_SNAPSHOT_CURSOR_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/database/connection.h"
#include "platform/database/statement.h"
#include "platform/database/status.h"

namespace verdanpost::database {

// Which rows of a table a cursor reads, and which of their columns.
struct RowSource {
  const Connection* connection = nullptr;
  const TableInfo* table = nullptr;
  std::string columns;                // the select list after the key
  std::string condition;              // "" or a condition with placeholders
  std::vector<Parameter> parameters;  // for |condition|
};

// A cursor over the rows of a RowSource that were there when it was
// opened, in key order; each row is packed, its key first. With a key that
// can be paged on, Open reads only the key of the last row, which bounds
// the snapshot, and rows follow in growing pages as the cursor moves, so
// that what is never visited is never read. Otherwise every row is read at
// Open. Rows whose key is in *skip are passed over; *skip must outlive the
// cursor.
class SnapshotCursor {
 public:
  SnapshotCursor() = default;
  SnapshotCursor(const SnapshotCursor&) = delete;
  SnapshotCursor& operator=(const SnapshotCursor&) = delete;

  // Opens on |source|, positioned on the first row.
  Status Open(RowSource source, const std::set<std::string>* skip);
  void Close();

  // False once the cursor has passed its last row, and at once when empty.
  bool valid() const { return position_ < page_.size(); }
  const std::string& row() const { return page_[position_]; }

  Status SeekToFirst();
  Status Next();
  // The current row was deleted from the table: it is not met again.
  void MarkDeleted();
  // The rows held that are still in the table, less those whose key is in
  // |others| (rows appended since Open, which may hold keys in the bound).
  Status Count(const std::vector<std::string>& others, int64_t* count) const;

 private:
  std::string Where(bool after, bool bounded) const;
  std::string RowsQuery(bool after, bool bounded) const;
  Status ReadAll();
  Status FetchPage();
  void SkipDeleted();

  RowSource source_;
  const std::set<std::string>* skip_ = nullptr;
  std::optional<std::string> bound_;  // packed key of the last row at Open
  std::optional<std::string> after_;  // packed key of the last row read
  bool paged_ = false;                // rows come in pages after |after_|
  bool done_ = true;                  // no page is left to read
  size_t page_size_ = 0;
  std::vector<std::string> page_;
  std::vector<bool> deleted_;  // per row of |page_|
  size_t position_ = 0;        // page_.size() when past the end
};

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_SNAPSHOT_CURSOR_H_
