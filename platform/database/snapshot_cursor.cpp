#include "platform/database/snapshot_cursor.h"

#include <algorithm>
#include <utility>

#include "platform/database/packed_row.h"
#include "platform/database/query.h"

namespace verdanpost::database {
namespace {

constexpr size_t kFirstPage = 32;
constexpr size_t kLargestPage = 2048;

}  // namespace

Status SnapshotCursor::Open(RowSource source, const std::set<std::string>* skip) {
  Close();
  source_ = std::move(source);
  skip_ = skip;
  const RowKey& key = source_.table->key;
  paged_ = key.ordered();
  if (!paged_) return ReadAll();
  // The key of the last row there is now bounds the rows this cursor holds:
  // rows written later, by anyone, are not among them.
  std::vector<std::string> rows;
  Status status =
      QueryRows(*source_.connection,
                "SELECT " + key.ReadList() + " FROM " +
                    source_.connection->Quote(source_.table->name) + Where(false, false) +
                    " ORDER BY " + key.OrderList(true) + source_.connection->dialect().Limit(1),
                source_.parameters, &rows);
  if (!status.ok()) return status;
  if (rows.empty()) return Status::OK();
  bound_ = std::move(rows.front());
  return SeekToFirst();
}

void SnapshotCursor::Close() {
  source_ = RowSource();
  skip_ = nullptr;
  bound_.reset();
  after_.reset();
  paged_ = false;
  done_ = true;
  page_size_ = 0;
  page_.clear();
  deleted_.clear();
  position_ = 0;
}

// " WHERE condition AND key > after AND key <= bound", the terms asked for.
std::string SnapshotCursor::Where(bool after, bool bounded) const {
  std::vector<std::string> terms;
  if (!source_.condition.empty()) terms.push_back(source_.condition);
  if (after) terms.push_back(source_.table->key.Compare(">"));
  if (bounded) terms.push_back(source_.table->key.Compare("<="));
  std::string where;
  for (const std::string& term : terms) where += (where.empty() ? " WHERE " : " AND ") + term;
  return where;
}

// "SELECT key, columns FROM table WHERE ... ORDER BY key", the rows with
// the Where() terms asked for, in key order.
std::string SnapshotCursor::RowsQuery(bool after, bool bounded) const {
  const RowKey& key = source_.table->key;
  return "SELECT " + key.ReadList() + ", " + source_.columns + " FROM " +
         source_.connection->Quote(source_.table->name) + Where(after, bounded) + " ORDER BY " +
         key.OrderList(false);
}

Status SnapshotCursor::ReadAll() {
  Status status =
      QueryRows(*source_.connection, RowsQuery(false, false), source_.parameters, &page_);
  deleted_.assign(page_.size(), false);
  position_ = 0;
  done_ = true;
  return status;
}

// Reads the next page after |after_|, passing over the rows in *skip_; a
// page of nothing but those is passed over whole.
Status SnapshotCursor::FetchPage() {
  const RowKey& key = source_.table->key;
  page_.clear();
  deleted_.clear();
  position_ = 0;
  while (!done_) {
    std::vector<Parameter> parameters = source_.parameters;
    Status status;
    if (after_) status = key.AddParameters(*after_, &parameters);
    if (status.ok()) status = key.AddParameters(*bound_, &parameters);
    if (!status.ok()) return status;
    std::vector<std::string> rows;
    status = QueryRows(
        *source_.connection,
        RowsQuery(after_.has_value(), true) + source_.connection->dialect().Limit(page_size_),
        parameters, &rows);
    if (!status.ok()) return status;
    done_ = rows.size() < page_size_;
    page_size_ = std::min(page_size_ * 2, kLargestPage);
    if (rows.empty()) break;
    after_ = PackedPrefix(rows.back(), key.size());
    for (std::string& row : rows) {
      if (skip_ == nullptr || skip_->count(PackedPrefix(row, key.size())) == 0) {
        page_.push_back(std::move(row));
      }
    }
    if (!page_.empty()) break;
  }
  deleted_.assign(page_.size(), false);
  return Status::OK();
}

void SnapshotCursor::SkipDeleted() {
  while (position_ < page_.size() && deleted_[position_]) ++position_;
}

Status SnapshotCursor::SeekToFirst() {
  if (!paged_) {
    position_ = 0;
    SkipDeleted();
    return Status::OK();
  }
  after_.reset();
  page_size_ = kFirstPage;
  done_ = !bound_.has_value();
  return FetchPage();
}

Status SnapshotCursor::Next() {
  if (!valid()) return Status::OK();
  ++position_;
  SkipDeleted();
  if (valid() || !paged_ || done_) return Status::OK();
  return FetchPage();
}

void SnapshotCursor::MarkDeleted() {
  if (valid()) deleted_[position_] = true;
}

Status SnapshotCursor::Count(const std::vector<std::string>& others, int64_t* count) const {
  if (!paged_) {
    *count = std::count(deleted_.begin(), deleted_.end(), false);
    return Status::OK();
  }
  if (!bound_) {
    *count = 0;
    return Status::OK();
  }
  const RowKey& key = source_.table->key;
  std::vector<Parameter> parameters = source_.parameters;
  std::string sql =
      "SELECT COUNT(*) FROM " + source_.connection->Quote(source_.table->name) + Where(false, true);
  Status status = key.AddParameters(*bound_, &parameters);
  // A row appended since Open may hold a key inside the bound (keys need
  // not grow); the caller counts it on its own.
  for (const std::string& other : others) {
    if (!status.ok()) break;
    sql += " AND " + key.Compare("<>");
    status = key.AddParameters(other, &parameters);
  }
  if (!status.ok()) return status;
  return QueryNumber(*source_.connection, sql, parameters, count);
}

}  // namespace verdanpost::database
