#include "console/setup/default_data_source.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "console/mailinglist/list_database.h"
#include "console/setup/scratch_odbc_home.h"
#include "platform/database/database_test_support.h"

namespace verdanpost::setup {
namespace {

using Outcome = DefaultDataSourceResult::Outcome;

class DefaultDataSourceTest : public ScratchOdbcHome {
 protected:
  // The addresses on the list behind "vestro", in list order.
  static std::vector<std::string> Subscribers() {
    mailinglist::ListConnection list;
    mailinglist::Recordset rows;
    std::vector<std::string> addresses;
    EXPECT_TRUE(list.Open().ok());
    EXPECT_TRUE(rows.Open(mailinglist::kMailingList, list.get()).ok());
    for (; !rows.eof(); rows.MoveNext()) {
      std::string address;
      EXPECT_TRUE(mailinglist::FieldText(rows, "E-Mail", &address).ok());
      addresses.push_back(address);
    }
    EXPECT_TRUE(rows.Close().ok());
    EXPECT_TRUE(list.Close().ok());
    return addresses;
  }
};

TEST_F(DefaultDataSourceTest, FirstRunCreatesTheListAndLaterRunsKeepIt) {
  ASSERT_FALSE(DataSourceDefined("vestro"));
  DefaultDataSourceResult result = SetUpDefaultDataSource();
  ASSERT_EQ(result.outcome, Outcome::kCreated) << result.error;
  EXPECT_EQ(result.database, database_);
  EXPECT_TRUE(DataSourceDefined("vestro"));
  EXPECT_EQ(Read(user_ini_),
            "[vestro]\nDescription=Verdanpost subscribers\nDriver=SQLite3\n"
            "Database=" +
                database_ + "\nTimeout=5000\n\n");
  EXPECT_EQ(Subscribers(), std::vector<std::string>{});
  database::test_support::Execute("vestro",
                                  "INSERT INTO MailingList (\"E-Mail\") VALUES ('kept@x.test')");

  {
    // Another start finds the data source and changes nothing.
    const std::string before = Read(user_ini_);
    EXPECT_EQ(SetUpDefaultDataSource().outcome, Outcome::kExisting);
    EXPECT_EQ(Read(user_ini_), before);
  }
  {
    // The data source gone, the database file stays as it is and is named
    // again.
    std::filesystem::remove(user_ini_);
    result = SetUpDefaultDataSource();
    ASSERT_EQ(result.outcome, Outcome::kCreated) << result.error;
    EXPECT_EQ(Subscribers(), std::vector<std::string>{"kept@x.test"});
  }
}

TEST_F(DefaultDataSourceTest, AnExistingDataSourceIsLeftAlone) {
  {
    // The system's, in any letter case.
    Write(dir_ / "sys/odbc.ini", "[Vestro]\nDriver = PostgreSQL Unicode\n");
    EXPECT_EQ(SetUpDefaultDataSource().outcome, Outcome::kExisting);
    EXPECT_EQ(Read(user_ini_), "");  // the ODBC installer may leave it empty
    EXPECT_FALSE(std::filesystem::exists(dir_ / "data"));
    Write(dir_ / "sys/odbc.ini", "");
  }
  {
    // The user's own.
    const std::string own = "[vestro]\nDriver = PostgreSQL Unicode\nServername = db.example.org\n";
    Write(user_ini_, own);
    EXPECT_EQ(SetUpDefaultDataSource().outcome, Outcome::kExisting);
    EXPECT_EQ(Read(user_ini_), own);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "data"));
  }
}

TEST_F(DefaultDataSourceTest, AFailedSetupDefinesNothingAndIsRetried) {
  {
    // The data folder cannot be made.
    Write(dir_ / "blocker", "");
    setenv("XDG_DATA_HOME", (dir_ / "blocker/data").c_str(), 1);
    DefaultDataSourceResult result = SetUpDefaultDataSource();
    EXPECT_EQ(result.outcome, Outcome::kFailed);
    EXPECT_EQ(result.error.rfind(
                  "cannot create " + (dir_ / "blocker/data/verdanpost").string() + ": ", 0),
              0u)
        << result.error;
    EXPECT_FALSE(DataSourceDefined("vestro"));
    setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
  }
  {
    // A ";" in the path would end the file's name in the connection string:
    // the tables would go to "semi" and the data source name another file.
    setenv("XDG_DATA_HOME", (dir_ / "semi;colon").c_str(), 1);
    DefaultDataSourceResult result = SetUpDefaultDataSource();
    EXPECT_EQ(result.outcome, Outcome::kFailed);
    EXPECT_EQ(result.error.rfind((dir_ / "semi;colon/verdanpost/vestro.db").string() +
                                     ": an ODBC data source cannot name",
                                 0),
              0u)
        << result.error;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "semi"));
    EXPECT_FALSE(DataSourceDefined("vestro"));
    setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
  }
  {
    // Something that is not a database stands where the file belongs: it
    // stays as it is.
    std::filesystem::create_directories(dir_ / "data/verdanpost");
    const std::string junk(4096, 'x');
    Write(database_, junk);
    DefaultDataSourceResult result = SetUpDefaultDataSource();
    EXPECT_EQ(result.outcome, Outcome::kFailed);
    EXPECT_EQ(result.error.rfind(database_ + ": ", 0), 0u) << result.error;
    EXPECT_EQ(Read(database_), junk);
    EXPECT_FALSE(DataSourceDefined("vestro"));
    std::filesystem::remove(database_);
  }
  DefaultDataSourceResult result = SetUpDefaultDataSource();
  EXPECT_EQ(result.outcome, Outcome::kCreated) << result.error;
  EXPECT_TRUE(DataSourceDefined("vestro"));
}

}  // namespace
}  // namespace verdanpost::setup
