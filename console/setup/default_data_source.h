#ifndef VERDANPOST_CONSOLE_SETUP_DEFAULT_DATA_SOURCE_H_
#define VERDANPOST_CONSOLE_SETUP_DEFAULT_DATA_SOURCE_H_

#include <string>

namespace verdanpost::setup {

// What SetUpDefaultDataSource found or did.
struct DefaultDataSourceResult {
  // kRecreated: the data source names an SQLite file that is empty (0
  // bytes) or gone, as a deleted database leaves it; its tables were made.
  enum class Outcome { kExisting, kCreated, kRecreated, kFailed };
  Outcome outcome = Outcome::kExisting;
  std::string database;  // the SQLite file named by the new or mended data source
  std::string error;     // why the setup failed
};

// ${XDG_DATA_HOME:-$HOME/.local/share}/verdanpost/vestro.db
std::string DefaultDatabasePath();

// Whether the user's or the system's ODBC ini file defines data source
// `name` (compared without regard to ASCII case, as the driver manager does).
bool DataSourceDefined(const std::string& name);

// Gives a user without a "vestro" data source the embedded default: the
// database file under the user's data folder with the list tables, then
// "vestro" in the user's ODBC ini file on the SQLite3 driver. The data source
// is written only once its tables exist, so a failed run defines nothing
// and the next one tries again. An existing data source is left alone,
// unless it names an SQLite file that is empty or missing: every operation
// would then fail on a missing table, so the tables are made there again.
// An existing database file keeps its data (only missing tables are added).
DefaultDataSourceResult SetUpDefaultDataSource();

// The one line that tells the operator what SetUpDefaultDataSource did;
// empty when it found a data source and did nothing.
std::string SetupMessage(const DefaultDataSourceResult& result);

}  // namespace verdanpost::setup

#endif  // VERDANPOST_CONSOLE_SETUP_DEFAULT_DATA_SOURCE_H_
