#include "platform/database/table_writer.h"

#include <cstdint>
#include <utility>

#include "platform/database/query.h"

namespace verdanpost::database {

Status AppendRow(const Connection& connection, const TableInfo& table,
                 const std::vector<std::string>& fields, const std::vector<Value>& values,
                 const std::string& columns, std::string* packed) {
  const SqlDialect& dialect = connection.dialect();
  if (!dialect.CanAppend()) {
    return Status::Error("appending rows needs SQLite or PostgreSQL, not " +
                         connection.dbms_name());
  }
  std::string names, placeholders;
  std::vector<Parameter> parameters;
  for (size_t i = 0; i < fields.size(); ++i) {
    names += (i ? ", " : "") + dialect.Quote(fields[i]);
    placeholders += i ? ", ?" : "?";
    parameters.push_back({values[i], 0});
  }
  const std::string insert =
      "INSERT INTO " + dialect.Quote(table.name) + " (" + names + ") VALUES (" + placeholders + ")";
  const std::string select_list = table.key.ReadList() + ", " + columns;
  std::vector<std::string> rows;
  Status status;
  if (dialect.InsertReturnsRows()) {
    status = QueryRows(connection, insert + " RETURNING " + select_list, parameters, &rows);
  } else {
    status = ExecuteChange(connection, insert, parameters, nullptr);
    if (status.ok()) {
      status = QueryRows(connection,
                         "SELECT " + select_list + " FROM " + dialect.Quote(table.name) +
                             " WHERE rowid = last_insert_rowid()",
                         {}, &rows);
    }
  }
  if (!status.ok()) return status;
  if (rows.size() != 1) return Status::Error("the database returned no appended row");
  *packed = std::move(rows[0]);
  return Status::OK();
}

Status DeleteRow(const Connection& connection, const TableInfo& table, const std::string& packed) {
  std::vector<Parameter> parameters;
  if (Status status = table.key.AddParameters(packed, &parameters); !status.ok()) return status;
  int64_t changed = 0;
  Status status = ExecuteChange(
      connection,
      "DELETE FROM " + connection.Quote(table.name) + " WHERE " + table.key.Compare("="),
      parameters, &changed);
  if (!status.ok()) return status;
  if (changed != 1) return Status::Error("the current row is no longer in " + table.name);
  return Status::OK();
}

}  // namespace verdanpost::database
