#ifndef VERDANPOST_PLATFORM_DATABASE_DATABASE_TEST_SUPPORT_H_
#define VERDANPOST_PLATFORM_DATABASE_DATABASE_TEST_SUPPORT_H_

#include <string>
#include <vector>

#include "platform/database/connection.h"

namespace verdanpost::database::test_support {

enum class Backend { kSQLite, kPostgreSQL };

// Readable parameter names for parameterised tests.
std::string BackendName(Backend backend);

// Gives the name of an ODBC data source on an empty database of |backend|:
// a fresh SQLite file, or a clean schema on a throwaway PostgreSQL cluster
// that starts on first use and stops when the tests end. The sources live in
// temporary ini files (ODBCSYSINI, ODBCINI); the first back end asked for in
// a process is "vestro" (ctest runs each test in a process of its own).
// Returns "" with the reason in *why when the back end cannot be had here.
std::string UseEmptyDataSource(Backend backend, std::string* why);

// Stops the throwaway PostgreSQL cluster's processes with SIGSTOP, so that
// it takes connections and statements and never answers them, and lets
// them go on again; false when there is no cluster running.
bool StopPostgreSQL();
bool ContinuePostgreSQL();

// A PostgreSQL data source whose server does not answer.
std::string UnreachableDataSource();

// Runs |sql| through a fresh connection; fails the test on error.
void Execute(const std::string& data_source, const std::string& sql);

// The first column of every row |sql| returns on |connection|, a null as
// |null_text|; fails the test on error.
std::vector<std::string> FirstColumn(Connection* connection, const std::string& sql,
                                     const char* null_text);

}  // namespace verdanpost::database::test_support

#endif  // VERDANPOST_PLATFORM_DATABASE_DATABASE_TEST_SUPPORT_H_
