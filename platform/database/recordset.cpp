#include "platform/database/recordset.h"

#include <utility>

#include "platform/ascii.h"
#include "platform/database/packed_row.h"
#include "platform/database/table_writer.h"

namespace verdanpost::database {

Status Recordset::Open(const std::string& table, Connection* connection) {
  return Open(Select{table, {}, {}, Value::Null()}, connection);
}

Status Recordset::Open(const Select& select, Connection* connection) {
  if (is_open()) return Status::Invalid("the record set is already open");
  if (connection == nullptr || !connection->is_open()) {
    return Status::Invalid("the connection is closed");
  }
  const TableInfo* table = nullptr;
  if (Status status = connection->DescribeTable(select.table, &table); !status.ok()) {
    return status;
  }
  std::vector<std::string> named = select.columns;
  if (!select.where_column.empty()) named.push_back(select.where_column);
  if (Status status = connection->CheckColumns(*table, named); !status.ok()) return status;
  RowSource source{connection, table, "", "", {}};
  if (select.columns.empty()) {
    source.columns = "*";
    columns_ = table->columns;
  } else {
    for (const std::string& column : select.columns) {
      source.columns += (source.columns.empty() ? "" : ", ") + connection->Quote(column);
    }
    columns_ = select.columns;
  }
  if (!select.where_column.empty()) {
    const std::string column = connection->Quote(select.where_column);
    source.condition =
        select.ignore_case ? connection->dialect().EqualsIgnoringCase(column) : column + " = ?";
    source.parameters.push_back({select.where_value, 0});
  }
  select_list_ = source.columns;
  connection_ = connection;
  table_ = table;
  if (Status status = snapshot_.Open(std::move(source), &appended_.keys()); !status.ok()) {
    Close();
    return status;
  }
  EnterAppendedIfPast();
  return Status::OK();
}

Status Recordset::Close() {
  connection_ = nullptr;
  table_ = nullptr;
  columns_.clear();
  select_list_.clear();
  snapshot_.Close();
  appended_.Clear();
  in_appended_ = false;
  current_deleted_ = false;
  count_.reset();
  return Status::OK();
}

Status Recordset::CheckOpen() const {
  if (!is_open()) return Status::Invalid("the record set is closed");
  if (!connection_->is_open()) return Status::Invalid("the connection is closed");
  return Status::OK();
}

void Recordset::EnterAppendedIfPast() {
  if (in_appended_ || snapshot_.valid()) return;
  in_appended_ = true;
  appended_.SeekToFirst();
}

const std::string* Recordset::Current() const {
  if (eof() || current_deleted_) return nullptr;
  return in_appended_ ? &appended_.row() : &snapshot_.row();
}

Status Recordset::MoveNext() {
  if (Status status = CheckOpen(); !status.ok()) return status;
  if (eof()) return Status::Invalid("the position is already past the last row");
  current_deleted_ = false;
  if (in_appended_) {
    appended_.Next();
    return Status::OK();
  }
  if (Status status = snapshot_.Next(); !status.ok()) return status;
  EnterAppendedIfPast();
  return Status::OK();
}

Status Recordset::MoveFirst() {
  if (Status status = CheckOpen(); !status.ok()) return status;
  current_deleted_ = false;
  in_appended_ = false;
  Status status = snapshot_.SeekToFirst();
  EnterAppendedIfPast();
  return status;
}

Status Recordset::RecordCount(int64_t* count) {
  if (Status status = CheckOpen(); !status.ok()) return status;
  if (!count_) {
    int64_t held = 0;
    if (Status status = snapshot_.Count(appended_.LiveKeys(), &held); !status.ok()) {
      return status;
    }
    count_ = held + appended_.live();
  }
  *count = *count_;
  return Status::OK();
}

Status Recordset::Fields(std::string_view name, std::optional<std::string>* value) const {
  if (Status status = CheckOpen(); !status.ok()) return status;
  const std::string* row = Current();
  if (row == nullptr) {
    return Status::Invalid(current_deleted_ ? "the current row has been deleted"
                                            : "there is no current row");
  }
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (EqualsIgnoreAsciiCase(columns_[i], name)) {
      *value = UnpackField(*row, table_->key.size() + i);
      return Status::OK();
    }
  }
  return Status::NotFound("the record set has no column named " + std::string(name));
}

Status Recordset::AddNew(const std::vector<std::string>& fields, const std::vector<Value>& values) {
  if (Status status = CheckOpen(); !status.ok()) return status;
  if (fields.empty() || fields.size() != values.size()) {
    return Status::Invalid("AddNew needs as many values as fields, and at least one");
  }
  std::string row;
  if (Status status = AppendRow(*connection_, *table_, fields, values, select_list_, &row);
      !status.ok()) {
    return status;
  }
  appended_.Add(std::move(row), table_->key.size());
  in_appended_ = true;
  current_deleted_ = false;
  if (count_) ++*count_;
  return Status::OK();
}

Status Recordset::Delete() {
  if (Status status = CheckOpen(); !status.ok()) return status;
  const std::string* row = Current();
  if (row == nullptr) {
    return Status::Invalid(current_deleted_ ? "the current row has already been deleted"
                                            : "there is no current row");
  }
  if (Status status = DeleteRow(*connection_, *table_, *row); !status.ok()) return status;
  current_deleted_ = true;
  if (in_appended_) {
    appended_.MarkDeleted();
  } else {
    snapshot_.MarkDeleted();
  }
  if (count_) --*count_;
  return Status::OK();
}

Status Recordset::DeleteOldest(const std::string& by_column, int64_t rows) {
  if (Status status = CheckOpen(); !status.ok()) return status;
  const std::string* row = Current();
  if (row == nullptr) return Status::Invalid("there is no current row to keep");
  if (Status status = connection_->CheckColumns(*table_, {by_column}); !status.ok()) {
    return status;
  }
  // From here the count is kept by hand: rows read whole at Open (a key
  // that cannot be paged) would still be counted after they left the table.
  int64_t held = 0;
  if (Status status = RecordCount(&held); !status.ok()) return status;
  int64_t deleted = 0;
  Status status = DeleteFirstRows(*connection_, *table_, by_column, rows, *row, &deleted);
  *count_ -= deleted;
  return status;
}

}  // namespace verdanpost::database
