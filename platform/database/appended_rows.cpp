#include "platform/database/appended_rows.h"

#include <utility>

#include "platform/database/packed_row.h"

namespace verdanpost::database {

void AppendedRows::Add(std::string packed, size_t key_size) {
  std::string key = PackedPrefix(packed, key_size);
  keys_.insert(key);
  rows_.push_back({std::move(packed), std::move(key), false});
  position_ = rows_.size() - 1;
}

void AppendedRows::Clear() {
  rows_.clear();
  keys_.clear();
  position_ = 0;
}

std::vector<std::string> AppendedRows::LiveKeys() const {
  std::vector<std::string> keys;
  for (const Row& row : rows_) {
    if (!row.deleted) keys.push_back(row.key);
  }
  return keys;
}

int64_t AppendedRows::live() const {
  int64_t count = 0;
  for (const Row& row : rows_) count += row.deleted ? 0 : 1;
  return count;
}

void AppendedRows::SkipDeleted() {
  while (position_ < rows_.size() && rows_[position_].deleted) ++position_;
}

void AppendedRows::SeekToFirst() {
  position_ = 0;
  SkipDeleted();
}

void AppendedRows::Next() {
  if (!valid()) return;
  ++position_;
  SkipDeleted();
}

void AppendedRows::MarkDeleted() {
  if (valid()) rows_[position_].deleted = true;
}

}  // namespace verdanpost::database
