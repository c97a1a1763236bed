#include "platform/database/row_key.h"

#include <optional>
#include <utility>

#include "platform/database/packed_row.h"

namespace verdanpost::database {

RowKey::RowKey(std::string table, std::vector<Part> parts, bool ordered, bool own_identifier)
    : table_(std::move(table)),
      parts_(std::move(parts)),
      ordered_(ordered),
      own_identifier_(own_identifier) {}

std::string RowKey::ReadList() const {
  std::string list;
  for (const Part& part : parts_) list += (list.empty() ? "" : ", ") + part.read;
  return list;
}

std::string RowKey::OrderList(bool descending) const {
  std::string list;
  for (const Part& part : parts_) {
    list += (list.empty() ? "" : ", ") + part.order + (descending ? " DESC" : "");
  }
  return list;
}

std::string RowKey::Tuple() const {
  return parts_.size() == 1 ? ReadList() : "(" + ReadList() + ")";
}

std::string RowKey::Compare(const char* op) const {
  if (parts_.size() == 1) return parts_[0].read + " " + op + " " + parts_[0].placeholder;
  std::string values;
  for (const Part& part : parts_) values += (values.empty() ? "" : ", ") + part.placeholder;
  return "(" + ReadList() + ") " + op + " (" + values + ")";
}

Status RowKey::AddParameters(const std::string& packed, std::vector<Parameter>* out) const {
  for (size_t i = 0; i < parts_.size(); ++i) {
    std::optional<std::string> value = UnpackField(packed, i);
    if (!value) {
      return Status::Invalid("This row of " + table_ +
                             " cannot be told apart from the others: its key column " +
                             parts_[i].column + " is empty.");
    }
    // The driver converts the text to the key column's own type.
    out->push_back({Value::Text(*value), parts_[i].sql_type});
  }
  return Status::OK();
}

}  // namespace verdanpost::database
