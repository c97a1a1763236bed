#include "platform/database/query.h"

#include <charconv>
#include <optional>
#include <utility>

#include "platform/database/packed_row.h"

namespace verdanpost::database {

Status QueryRows(const Connection& connection, const std::string& sql,
                 const std::vector<Parameter>& parameters, std::vector<std::string>* rows) {
  rows->clear();
  Statement statement;
  if (Status status = statement.Execute(connection, sql, parameters); !status.ok()) {
    return status;
  }
  std::vector<std::string> names;
  std::vector<SQLSMALLINT> types;
  if (Status status = statement.Describe(&names, &types); !status.ok()) return status;
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

Status QueryNumber(const Connection& connection, const std::string& sql,
                   const std::vector<Parameter>& parameters, int64_t* number) {
  Statement statement;
  bool has_row = false;
  std::optional<std::string> text;
  Status status = statement.Execute(connection, sql, parameters);
  if (status.ok()) status = statement.Fetch(&has_row);
  if (status.ok() && has_row) status = statement.GetText(1, &text);
  if (!status.ok()) return status;
  int64_t value = 0;
  if (text) {
    auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size()) {
      return Status::Invalid("the database answered \"" + *text + "\" where a number was due");
    }
  }
  *number = value;
  return Status::OK();
}

Status ExecuteChange(const Connection& connection, const std::string& sql,
                     const std::vector<Parameter>& parameters, int64_t* changed) {
  Statement statement;
  Status status = statement.Execute(connection, sql, parameters);
  SQLLEN rows = 0;
  if (status.ok() && changed != nullptr) status = statement.RowCount(&rows);
  if (status.ok() && changed != nullptr) *changed = rows;
  return status;
}

}  // namespace verdanpost::database
