#include "platform/database/recordset.h"

#include <utility>

#include "platform/ascii.h"
#include "platform/database/packed_row.h"

namespace verdanpost::database {
namespace {

constexpr size_t kFirstPage = 32;
constexpr size_t kLargestPage = 2048;

}  // namespace

Status Recordset::Open(const std::string& table, Connection* connection) {
  return Open(Select{table, {}, {}, Value::Null()}, connection);
}

Status Recordset::Open(const Select& select, Connection* connection) {
  if (is_open()) return Status::Error("the record set is already open");
  if (connection == nullptr || !connection->is_open()) {
    return Status::Error("the connection is closed");
  }
  std::vector<std::string> key;
  if (Status status = connection->RowIdentity(select.table, &key); !status.ok()) return status;

  connection_ = connection;
  select_ = select;
  key_ = std::move(key);
  // The key of the last row there is now bounds the rows this record set
  // holds: rows written later, by anyone, are not among them.
  std::string sql = "SELECT " + KeyList(false) + " FROM " + connection_->Quote(select_.table) +
                    SnapshotWhere(false) + " ORDER BY " + KeyList(true) + " LIMIT 1";
  std::vector<Parameter> parameters;
  if (!select_.where_column.empty()) parameters.push_back({select_.where_value, 0});
  std::vector<std::string> rows;
  Status status = Query(sql, parameters, &rows, false);
  if (status.ok() && !rows.empty()) {
    bound_ = rows.front();
    page_size_ = kFirstPage;
    snapshot_done_ = false;
    status = FetchPage();
  }
  if (status.ok() && page_.empty()) {
    // Learn the columns even when there is no row to read them from.
    status = Query(
        "SELECT " + SelectList() + " FROM " + connection_->Quote(select_.table) + " WHERE 1 = 0",
        {}, &rows, true);
  }
  if (!status.ok()) {
    Close();
    return status;
  }
  page_position_ = 0;
  eof_ = page_.empty();
  return Status::OK();
}

Status Recordset::Close() {
  connection_ = nullptr;
  select_ = Select();
  key_.clear();
  key_types_.clear();
  columns_.clear();
  bound_.reset();
  page_.clear();
  page_position_ = page_size_ = 0;
  snapshot_done_ = true;
  appended_.clear();
  appended_keys_.clear();
  in_appended_ = false;
  appended_position_ = 0;
  eof_ = true;
  current_deleted_ = false;
  count_.reset();
  return Status::OK();
}

Status Recordset::CheckOpen() const {
  if (!is_open()) return Status::Error("the record set is closed");
  if (!connection_->is_open()) return Status::Error("the connection is closed");
  return Status::OK();
}

std::string Recordset::KeyList(bool descending) const {
  std::string list;
  for (const std::string& column : key_) {
    if (!list.empty()) list += ", ";
    list += connection_->Quote(column);
    if (descending) list += " DESC";
  }
  return list;
}

std::string Recordset::KeyCompare(const char* op) const {
  // PostgreSQL's row identifier has a type of its own; text converts to it.
  auto placeholder = [this](const std::string& column) {
    return connection_->dialect() == Dialect::kPostgreSQL && column == "ctid"
               ? std::string("CAST(? AS tid)")
               : std::string("?");
  };
  if (key_.size() == 1) {
    return connection_->Quote(key_[0]) + " " + op + " " + placeholder(key_[0]);
  }
  std::string values;
  for (const std::string& column : key_) {
    if (!values.empty()) values += ", ";
    values += placeholder(column);
  }
  return "(" + KeyList(false) + ") " + op + " (" + values + ")";
}

void Recordset::AddKeyParameters(const std::string& packed, std::vector<Parameter>* out) const {
  for (size_t i = 0; i < key_.size(); ++i) {
    std::optional<std::string> value = UnpackField(packed, i);
    int16_t type = i < key_types_.size() ? key_types_[i] : 0;
    // The driver converts the text to the key column's own type.
    out->push_back({value ? Value::Text(*value) : Value::Null(), type});
  }
}

// The WHERE clause of a snapshot query: the select's condition, then, for
// pages, "key > ? AND key <= ?". Parameters go in the same order.
std::string Recordset::SnapshotWhere(bool pages) const {
  std::vector<std::string> terms;
  if (!select_.where_column.empty()) {
    terms.push_back(connection_->Quote(select_.where_column) + " = ?");
  }
  if (pages) {
    if (!page_.empty()) terms.push_back(KeyCompare(">"));
    terms.push_back(KeyCompare("<="));
  }
  std::string where;
  for (const std::string& term : terms) where += (where.empty() ? " WHERE " : " AND ") + term;
  return where;
}

std::string Recordset::SelectList() const {
  std::string list = KeyList(false);
  if (select_.columns.empty()) return list + ", *";
  for (const std::string& column : select_.columns) list += ", " + connection_->Quote(column);
  return list;
}

// " WHERE [condition AND] key <= bound", the rows held since Open.
std::string Recordset::BoundedWhere(std::vector<Parameter>* parameters) const {
  std::string where = " WHERE ";
  if (!select_.where_column.empty()) {
    where += connection_->Quote(select_.where_column) + " = ? AND ";
    parameters->push_back({select_.where_value, 0});
  }
  AddKeyParameters(*bound_, parameters);
  return where + KeyCompare("<=");
}

Status Recordset::Query(const std::string& sql, const std::vector<Parameter>& parameters,
                        std::vector<std::string>* rows, bool learn_columns) {
  rows->clear();
  Statement statement;
  if (Status status = statement.Execute(connection_->handle(), sql, parameters); !status.ok()) {
    return status;
  }
  std::vector<std::string> names;
  std::vector<SQLSMALLINT> types;
  if (Status status = statement.Describe(&names, &types); !status.ok()) return status;
  if (key_types_.empty()) key_types_.assign(types.begin(), types.begin() + key_.size());
  if (learn_columns && columns_.empty()) columns_.assign(names.begin() + key_.size(), names.end());
  for (;;) {
    bool has_row = false;
    if (Status status = statement.Fetch(&has_row); !status.ok()) return status;
    if (!has_row) break;
    std::string packed;
    for (SQLUSMALLINT column = 1; column <= names.size(); ++column) {
      std::optional<std::string> value;
      if (Status status = statement.GetText(column, &value); !status.ok()) return status;
      PackValue(value, &packed);
    }
    rows->push_back(std::move(packed));
  }
  return Status::OK();
}

// Reads the next page of the rows held since Open, skipping rows this
// record set appended itself (they stand last).
Status Recordset::FetchPage() {
  while (!snapshot_done_) {
    std::string sql = "SELECT " + SelectList() + " FROM " + connection_->Quote(select_.table) +
                      SnapshotWhere(true) + " ORDER BY " + KeyList(false) + " LIMIT " +
                      std::to_string(page_size_);
    std::vector<Parameter> parameters;
    if (!select_.where_column.empty()) parameters.push_back({select_.where_value, 0});
    if (!page_.empty()) {
      const std::string& last = page_.back();
      AddKeyParameters(PackedPrefix(last, key_.size()), &parameters);
    }
    AddKeyParameters(*bound_, &parameters);
    std::vector<std::string> rows;
    if (Status status = Query(sql, parameters, &rows, true); !status.ok()) return status;
    snapshot_done_ = rows.size() < page_size_;
    page_size_ = std::min(page_size_ * 2, kLargestPage);
    if (rows.empty()) {
      page_.clear();
      break;
    }
    std::string last_key = PackedPrefix(rows.back(), key_.size());
    page_.clear();
    for (std::string& row : rows) {
      if (appended_keys_.count(PackedPrefix(row, key_.size())) == 0) {
        page_.push_back(std::move(row));
      }
    }
    page_position_ = 0;
    if (!page_.empty()) return Status::OK();
    // Every row of the page was one of ours: continue after its last key,
    // carried by a placeholder row that holds just that key.
    page_.push_back(last_key);
    page_position_ = 1;
  }
  page_.clear();
  page_position_ = 0;
  return Status::OK();
}

Status Recordset::EnterAppended(size_t from) {
  in_appended_ = true;
  appended_position_ = from;
  while (appended_position_ < appended_.size() && appended_[appended_position_].deleted) {
    ++appended_position_;
  }
  eof_ = appended_position_ >= appended_.size();
  return Status::OK();
}

const std::string* Recordset::Current() const {
  if (eof_ || current_deleted_) return nullptr;
  if (in_appended_) return &appended_[appended_position_].packed;
  return &page_[page_position_];
}

Status Recordset::MoveNext() {
  if (Status status = CheckOpen(); !status.ok()) return status;
  if (eof_) return Status::Error("the position is already past the last row");
  current_deleted_ = false;
  if (in_appended_) return EnterAppended(appended_position_ + 1);
  if (++page_position_ < page_.size()) return Status::OK();
  if (!snapshot_done_) {
    if (Status status = FetchPage(); !status.ok()) return status;
    if (!page_.empty()) return Status::OK();
  }
  return EnterAppended(0);
}

Status Recordset::MoveFirst() {
  if (Status status = CheckOpen(); !status.ok()) return status;
  current_deleted_ = false;
  in_appended_ = false;
  page_.clear();
  page_position_ = 0;
  snapshot_done_ = !bound_.has_value();
  page_size_ = kFirstPage;
  if (Status status = FetchPage(); !status.ok()) {
    eof_ = true;
    return status;
  }
  if (!page_.empty()) {
    eof_ = false;
    return Status::OK();
  }
  return EnterAppended(0);
}

Status Recordset::MoveLast() {
  if (Status status = CheckOpen(); !status.ok()) return status;
  current_deleted_ = false;
  for (size_t i = appended_.size(); i-- > 0;) {
    if (!appended_[i].deleted) {
      in_appended_ = true;
      appended_position_ = i;
      eof_ = false;
      return Status::OK();
    }
  }
  std::vector<std::string> rows;
  if (bound_) {
    std::vector<Parameter> parameters;
    std::string sql = "SELECT " + SelectList() + " FROM " + connection_->Quote(select_.table) +
                      BoundedWhere(&parameters) + " ORDER BY " + KeyList(true) + " LIMIT 1";
    if (Status status = Query(sql, parameters, &rows, true); !status.ok()) return status;
  }
  if (rows.empty()) return Status::Error("the record set holds no rows");
  page_ = std::move(rows);
  page_position_ = 0;
  snapshot_done_ = true;
  in_appended_ = false;
  eof_ = false;
  return Status::OK();
}

Status Recordset::RecordCount(int64_t* count) {
  if (Status status = CheckOpen(); !status.ok()) return status;
  if (!count_) {
    int64_t held = 0;
    if (bound_) {
      std::vector<Parameter> parameters;
      std::string sql =
          "SELECT COUNT(*) FROM " + connection_->Quote(select_.table) + BoundedWhere(&parameters);
      // A row appended here may hold a key inside the bound (keys need not
      // grow); it is counted once, below.
      for (const AppendedRow& row : appended_) {
        if (row.deleted) continue;
        sql += " AND " + KeyCompare("<>");
        AddKeyParameters(row.packed, &parameters);
      }
      Statement statement;
      bool has_row = false;
      std::optional<std::string> text;
      Status status = statement.Execute(connection_->handle(), sql, parameters);
      if (status.ok()) status = statement.Fetch(&has_row);
      if (status.ok() && has_row) status = statement.GetText(1, &text);
      if (!status.ok()) return status;
      held = text ? std::stoll(*text) : 0;
    }
    for (const AppendedRow& row : appended_) held += row.deleted ? 0 : 1;
    count_ = held;
  }
  *count = *count_;
  return Status::OK();
}

Status Recordset::Fields(std::string_view name, std::optional<std::string>* value) const {
  if (Status status = CheckOpen(); !status.ok()) return status;
  const std::string* row = Current();
  if (row == nullptr) {
    return Status::Error(current_deleted_ ? "the current row has been deleted"
                                          : "there is no current row");
  }
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (EqualsIgnoreAsciiCase(columns_[i], name)) {
      *value = UnpackField(*row, key_.size() + i);
      return Status::OK();
    }
  }
  return Status::Error("the record set has no column named " + std::string(name));
}

Status Recordset::AddNew(const std::vector<std::string>& fields, const std::vector<Value>& values) {
  if (Status status = CheckOpen(); !status.ok()) return status;
  if (fields.empty() || fields.size() != values.size()) {
    return Status::Error("AddNew needs as many values as fields, and at least one");
  }
  if (connection_->dialect() == Dialect::kOther) {
    return Status::Error("appending rows needs SQLite or PostgreSQL, not " +
                         connection_->dbms_name());
  }
  std::string names, placeholders;
  std::vector<Parameter> parameters;
  for (size_t i = 0; i < fields.size(); ++i) {
    names += (i ? ", " : "") + connection_->Quote(fields[i]);
    placeholders += i ? ", ?" : "?";
    parameters.push_back({values[i], 0});
  }
  // The row is read back as the table now holds it, defaults and key
  // included. The SQLite driver returns no rows from RETURNING, so there the
  // row is found again by the row identifier the insert gave it.
  std::string insert = "INSERT INTO " + connection_->Quote(select_.table) + " (" + names +
                       ") VALUES (" + placeholders + ")";
  std::vector<std::string> rows;
  if (connection_->dialect() == Dialect::kSQLite) {
    Statement statement;
    if (Status status = statement.Execute(connection_->handle(), insert, parameters);
        !status.ok()) {
      return status;
    }
    if (Status status =
            Query("SELECT " + SelectList() + " FROM " + connection_->Quote(select_.table) +
                      " WHERE rowid = last_insert_rowid()",
                  {}, &rows, true);
        !status.ok()) {
      return status;
    }
  } else if (Status status = Query(insert + " RETURNING " + SelectList(), parameters, &rows, true);
             !status.ok()) {
    return status;
  }
  if (rows.size() != 1) return Status::Error("the database returned no appended row");
  appended_keys_.insert(PackedPrefix(rows[0], key_.size()));
  appended_.push_back({std::move(rows[0]), false});
  in_appended_ = true;
  appended_position_ = appended_.size() - 1;
  eof_ = false;
  current_deleted_ = false;
  if (count_) ++*count_;
  return Status::OK();
}

Status Recordset::Delete() {
  if (Status status = CheckOpen(); !status.ok()) return status;
  const std::string* row = Current();
  if (row == nullptr) {
    return Status::Error(current_deleted_ ? "the current row has already been deleted"
                                          : "there is no current row");
  }
  std::vector<Parameter> parameters;
  AddKeyParameters(*row, &parameters);
  std::string sql =
      "DELETE FROM " + connection_->Quote(select_.table) + " WHERE " + KeyCompare("=");
  Statement statement;
  SQLLEN changed = 0;
  Status status = statement.Execute(connection_->handle(), sql, parameters);
  if (status.ok()) status = statement.RowCount(&changed);
  if (!status.ok()) return status;
  if (changed != 1) {
    return Status::Error("the current row is no longer in " + select_.table);
  }
  current_deleted_ = true;
  if (in_appended_) appended_[appended_position_].deleted = true;
  if (count_) --*count_;
  return Status::OK();
}

}  // namespace verdanpost::database
