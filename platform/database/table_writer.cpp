#include "platform/database/table_writer.h"

#include <cstdint>
#include <optional>
#include <utility>

#include "platform/database/packed_row.h"
#include "platform/database/query.h"

namespace verdanpost::database {
namespace {

// SQLite, a table without rowid: the insert's trigger records the new row's
// key, which then finds the row. The recording ends whatever happened.
Status InsertCapturingKey(const Connection& connection, const TableInfo& table,
                          const std::string& insert, const std::vector<Parameter>& parameters,
                          const std::string& select_list, std::vector<std::string>* rows) {
  const SqlDialect& dialect = connection.dialect();
  std::vector<std::string> key_columns;
  for (const RowKey::Part& part : table.key.parts()) key_columns.push_back(part.column);
  Status status;
  for (const std::string& sql : dialect.StartKeyCapture(table.name, key_columns)) {
    if (status.ok()) status = ExecuteChange(connection, sql, {}, nullptr);
  }
  if (status.ok()) status = ExecuteChange(connection, insert, parameters, nullptr);
  std::vector<std::string> captured;
  if (status.ok()) status = QueryRows(connection, dialect.CapturedKeyQuery(), {}, &captured);
  Status stopped = ExecuteChange(connection, dialect.StopKeyCapture(), {}, nullptr);
  if (!status.ok()) return status;
  if (!stopped.ok()) return stopped;
  if (captured.size() != table.key.size()) return Status::OK();  // no row: told by the caller
  std::string key;
  for (const std::string& part : captured) PackValue(UnpackField(part, 0), &key);
  std::vector<Parameter> key_parameters;
  if (Status found = table.key.AddParameters(key, &key_parameters); !found.ok()) return found;
  return QueryRows(connection,
                   "SELECT " + select_list + " FROM " + dialect.Quote(table.name) + " WHERE " +
                       table.key.Compare("="),
                   key_parameters, rows);
}

}  // namespace

Status AppendRow(const Connection& connection, const TableInfo& table,
                 const std::vector<std::string>& fields, const std::vector<Value>& values,
                 const std::string& columns, std::string* packed) {
  const SqlDialect& dialect = connection.dialect();
  if (!dialect.CanAppend()) {
    return Status::Invalid("appending rows needs SQLite or PostgreSQL, not " +
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
  Status status = connection.InTransaction([&] {
    if (dialect.InsertReturnsRows()) {
      return QueryRows(connection, insert + " RETURNING " + select_list, parameters, &rows);
    }
    if (!table.key.own_identifier()) {
      return InsertCapturingKey(connection, table, insert, parameters, select_list, &rows);
    }
    Status inserted = ExecuteChange(connection, insert, parameters, nullptr);
    if (!inserted.ok()) return inserted;
    return QueryRows(connection,
                     "SELECT " + select_list + " FROM " + dialect.Quote(table.name) + " WHERE " +
                         dialect.LastInsertCondition(table.key.ReadList()),
                     {}, &rows);
  });
  if (!status.ok()) return status;
  if (rows.size() != 1) return Status::Error("the database returned no appended row");
  *packed = std::move(rows[0]);
  return Status::OK();
}

Status DeleteRow(const Connection& connection, const TableInfo& table, const std::string& packed) {
  std::vector<Parameter> parameters;
  if (Status status = table.key.AddParameters(packed, &parameters); !status.ok()) return status;
  int64_t changed = 0;
  Status status = connection.InTransaction([&] {
    return ExecuteChange(
        connection,
        "DELETE FROM " + connection.Quote(table.name) + " WHERE " + table.key.Compare("="),
        parameters, &changed);
  });
  if (!status.ok()) return status;
  if (changed != 1) return Status::NotFound("the current row is no longer in " + table.name);
  return Status::OK();
}

Status DeleteFirstRows(const Connection& connection, const TableInfo& table,
                       const std::string& by_column, int64_t rows, const std::string& keep,
                       int64_t* deleted) {
  *deleted = 0;
  if (rows <= 0) return Status::OK();
  std::vector<Parameter> parameters;
  if (Status status = table.key.AddParameters(keep, &parameters); !status.ok()) return status;
  const SqlDialect& dialect = connection.dialect();
  const std::string name = dialect.Quote(table.name);
  return connection.InTransaction([&] {
    return ExecuteChange(connection,
                         "DELETE FROM " + name + " WHERE " + table.key.Tuple() + " IN (SELECT " +
                             table.key.ReadList() + " FROM " + name + " WHERE NOT (" +
                             table.key.Compare("=") + ") ORDER BY " + dialect.Quote(by_column) +
                             dialect.NullsFirst() + ", " + table.key.OrderList(false) +
                             dialect.Limit(static_cast<size_t>(rows)) + ")",
                         parameters, deleted);
  });
}

}  // namespace verdanpost::database
