#ifndef VERDANPOST_PLATFORM_DATABASE_QUERY_H_
#define VERDANPOST_PLATFORM_DATABASE_QUERY_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/database/connection.h"
#include "platform/database/statement.h"
#include "platform/database/status.h"

namespace verdanpost::database {

// Runs |sql| and reads every result row into *rows, each packed
// (packed_row.h) with all its columns. The statement is closed on return.
Status QueryRows(const Connection& connection, const std::string& sql,
                 const std::vector<Parameter>& parameters, std::vector<std::string>* rows);

// Runs |sql|, whose first row's first column is a whole number (a COUNT),
// into *number; no row or a null gives 0.
Status QueryNumber(const Connection& connection, const std::string& sql,
                   const std::vector<Parameter>& parameters, int64_t* number);

// Runs |sql|, which returns no rows, and tells in *changed how many rows it
// changed (pass null when that does not matter).
Status ExecuteChange(const Connection& connection, const std::string& sql,
                     const std::vector<Parameter>& parameters, int64_t* changed);

}  // namespace verdanpost::database

#endif  // VERDANPOST_PLATFORM_DATABASE_QUERY_H_
