#ifndef VERDANPOST_PLATFORM_DATABASE_APPENDED_ROWS_H_
#define VERDANPOST_PLATFORM_DATABASE_APPENDED_ROWS_H_

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace verdanpost::database {

// The rows a Recordset appended, packed with their key first, in the order
// they were appended; with a cursor that passes over the ones deleted since.
class AppendedRows {
 public:
  // Adds |packed|, whose key is its first |key_size| columns, and moves the
  // cursor onto it.
  void Add(std::string packed, size_t key_size);
  void Clear();

  // The packed keys of every row appended, deleted ones included.
  const std::set<std::string>& keys() const { return keys_; }
  // The packed keys of the rows not deleted.
  std::vector<std::string> LiveKeys() const;
  int64_t live() const;

  bool valid() const { return position_ < rows_.size(); }
  const std::string& row() const { return rows_[position_].packed; }
  void SeekToFirst();
  void Next();
  void MarkDeleted();

 private:
  struct Row {
    std::string packed;
    std::string key;
    bool deleted = false;
  };

  void SkipDeleted();

  std::vector<Row> rows_;
  std::set<std::string> keys_;
  size_t position_ = 0;  // rows_.size() when past the end
};

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_APPENDED_ROWS_H_
