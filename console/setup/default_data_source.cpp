#include "console/setup/default_data_source.h"

#include <odbcinst.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "console/mailinglist/list_database.h"
#include "console/mailinglist/list_schema.h"
#include "platform/ascii.h"
#include "platform/xdg_paths.h"

namespace verdanpost::setup {
namespace {

constexpr char kDriver[] = "SQLite3";
constexpr char kIniFile[] = "odbc.ini";
// How long the driver waits for a database another program has locked, in
// milliseconds: the same for the setup's connection and the data source.
constexpr char kBusyTimeout[] = "5000";

// Sets the ODBC installer's configuration mode and puts back "both" (the
// mode every other caller in the process expects) when it goes.
class ConfigMode {
 public:
  explicit ConfigMode(UWORD mode) { SQLSetConfigMode(mode); }
  ConfigMode(const ConfigMode&) = delete;
  ConfigMode& operator=(const ConfigMode&) = delete;
  ~ConfigMode() { SQLSetConfigMode(ODBC_BOTH_DSN); }
};

// The ODBC installer's first error, for a write that failed.
std::string InstallerError(const std::string& context) {
  DWORD code = 0;
  char text[SQL_MAX_MESSAGE_LENGTH] = "";
  WORD length = 0;
  if (SQLInstallerError(1, &code, text, sizeof text, &length) == SQL_SUCCESS && text[0] != '\0')
    return context + ": " + text;
  return context + ": the ODBC installer reports no reason";
}

// Writes the user's data source "vestro" for `database`, in the order of the
// keys in the file. Removes what it wrote when a write fails.
bool WriteUserDataSource(const std::string& database, std::string* err) {
  ConfigMode user(ODBC_USER_DSN);
  const std::vector<std::pair<const char*, const char*>> keys = {
      {"Description", "Verdanpost subscribers"},
      {"Driver", kDriver},
      {"Database", database.c_str()},
      {"Timeout", kBusyTimeout},
  };
  for (const auto& [key, value] : keys) {
    if (!SQLWritePrivateProfileString(mailinglist::kDataSourceName, key, value, kIniFile)) {
      *err = InstallerError(std::string("cannot write the data source \"") +
                            mailinglist::kDataSourceName + "\"");
      SQLWritePrivateProfileString(mailinglist::kDataSourceName, nullptr, nullptr, kIniFile);
      return false;
    }
  }
  return true;
}

// The path goes into a connection string, where ";" ends a value (the
// SQLite driver takes no braces around one), and into odbc.ini, where a line
// break does: either would make the tables and the data source name
// different files.
bool CheckNameable(const std::string& database, std::string* err) {
  if (database.find_first_of(";\r\n") == std::string::npos) return true;
  *err = database +
         ": an ODBC data source cannot name a file whose path holds \";\" or a line break; "
         "set XDG_DATA_HOME to a folder without them";
  return false;
}

// Creates the database file when missing, and the tables that are missing,
// through the driver directly: no data source names the file yet.
bool CreateTables(const std::string& database, std::string* err) {
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::path(database).parent_path();
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    *err = "cannot create " + folder.string() + ": " + ec.message();
    return false;
  }
  database::Status status = mailinglist::CreateTables(
      std::string("Driver=") + kDriver + ";Database=" + database + ";Timeout=" + kBusyTimeout);
  if (!status.ok()) {
    *err = database + ": " + status.message();
    return false;
  }
  return true;
}

// The value of `key` in the section of data source `name`, user's or
// system's; "" when there is none.
std::string DataSourceValue(const std::string& name, const char* key) {
  ConfigMode both(ODBC_BOTH_DSN);
  char value[4096] = "";
  SQLGetPrivateProfileString(name.c_str(), key, "", value, sizeof value, kIniFile);
  return value;
}

// The SQLite file the data source `name` names, when it is empty or gone;
// "" otherwise (another driver, a file with data, no file named).
std::string EmptySQLiteDatabase(const std::string& name) {
  std::string driver = DataSourceValue(name, "Driver");
  for (char& c : driver) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (driver.find("sqlite") == std::string::npos) return "";
  const std::string database = DataSourceValue(name, "Database");
  if (database.empty()) return "";
  std::error_code ec;
  const auto size = std::filesystem::file_size(database, ec);
  if (ec ? ec != std::errc::no_such_file_or_directory : size != 0) return "";
  return database;
}

}  // namespace

std::string DefaultDatabasePath() { return XdgDataHome() + "/verdanpost/vestro.db"; }

bool DataSourceDefined(const std::string& name) {
  ConfigMode both(ODBC_BOTH_DSN);
  // Asked for no section, the installer lists every section name, each
  // ended by a NUL. Grow the buffer until the list fits.
  for (int size = 4096; size <= (1 << 22); size *= 4) {
    std::vector<char> names(static_cast<size_t>(size));
    int length = SQLGetPrivateProfileString(nullptr, nullptr, "", names.data(), size, kIniFile);
    if (length < 0) return false;
    if (length >= size - 2) continue;
    for (int i = 0; i < length;) {
      std::string_view section(names.data() + i);
      if (section.empty()) break;
      if (EqualsIgnoreAsciiCase(section, name)) return true;
      i += static_cast<int>(section.size()) + 1;
    }
    return false;
  }
  return false;
}

DefaultDataSourceResult SetUpDefaultDataSource() {
  using Outcome = DefaultDataSourceResult::Outcome;
  DefaultDataSourceResult result;
  if (DataSourceDefined(mailinglist::kDataSourceName)) {
    result.database = EmptySQLiteDatabase(mailinglist::kDataSourceName);
    if (result.database.empty()) return result;
    result.outcome =
        CreateTables(result.database, &result.error) ? Outcome::kRecreated : Outcome::kFailed;
    return result;
  }
  result.database = DefaultDatabasePath();
  if (!CheckNameable(result.database, &result.error) ||
      !CreateTables(result.database, &result.error) ||
      !WriteUserDataSource(result.database, &result.error)) {
    result.outcome = Outcome::kFailed;
    return result;
  }
  result.outcome = Outcome::kCreated;
  return result;
}

std::string SetupMessage(const DefaultDataSourceResult& result) {
  switch (result.outcome) {
    case DefaultDataSourceResult::Outcome::kExisting:
      return "";
    case DefaultDataSourceResult::Outcome::kCreated:
      return "Created the list database " + result.database +
             " and the ODBC data source \"vestro\" that names it.";
    case DefaultDataSourceResult::Outcome::kRecreated:
      return "The list database " + result.database +
             " was empty or missing, so its tables were created again: the list has no "
             "subscribers.";
    case DefaultDataSourceResult::Outcome::kFailed:
      return "Could not create the list database: " + result.error;
  }
  return "";
}

}  // namespace verdanpost::setup
