#ifndef VERDANPOST_PLATFORM_DATABASE_TABLE_WRITER_H_
#define VERDANPOST_PLATFORM_DATABASE_TABLE_WRITER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/database/connection.h"
#include "platform/database/status.h"
#include "platform/database/value.h"

namespace verdanpost::database {

// Writes one row of |table| with |values| in |fields| and reads it back as
// the table now holds it, defaults and key included, into *packed: its key,
// then |columns| (a select list such as "*").
Status AppendRow(const Connection& connection, const TableInfo& table,
                 const std::vector<std::string>& fields, const std::vector<Value>& values,
                 const std::string& columns, std::string* packed);

// Deletes the row of |table| whose key |packed| starts with; an error when
// no row, or more than one, had that key.
Status DeleteRow(const Connection& connection, const TableInfo& table, const std::string& packed);

// Deletes the first |rows| rows of |table| by |by_column| (nulls first),
// then by key, passing over the row whose key |keep| starts with; tells in
// *deleted how many went.
Status DeleteFirstRows(const Connection& connection, const TableInfo& table,
                       const std::string& by_column, int64_t rows, const std::string& keep,
                       int64_t* deleted);

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_TABLE_WRITER_H_
