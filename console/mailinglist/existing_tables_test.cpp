// The list operations over tables an operator made: keys that hold nulls or
// floating-point numbers, no key at all, SQLite tables without rowid, and
// missing columns. Each runs on SQLite and on PostgreSQL.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "console/mailinglist/list_database.h"
#include "console/mailinglist/list_test_support.h"
#include "platform/database/database_test_support.h"
#include "platform/database/statement.h"

namespace verdanpost::mailinglist {
namespace {

using database::test_support::Backend;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr char kSubscriberColumns[] =
    "\"Name\" TEXT, \"E-Mail\" TEXT, \"MailingAddress\" TEXT, \"BraSize\" INTEGER, "
    "\"DateCreated\" TEXT, \"IPAddress\" TEXT";
constexpr char kRemovalColumns[] =
    "\"DeleterName\" TEXT, \"Name\" TEXT, \"E-Mail\" TEXT, \"DateCreated\" TEXT, "
    "\"DateDeleted\" TEXT, \"IPCreatedFrom\" TEXT, \"IPDeletedFrom\" TEXT";

class ExistingTablesTest : public testing_support::ListBackendTest {
 protected:
  void Sql(const std::string& sql) { database::test_support::Execute(source_, sql); }

  // Replaces |table| with one made by |definition| (the text inside the
  // parentheses, then anything after them), and starts a fresh connection,
  // as every operation of the console does.
  void Define(const std::string& table, const std::string& definition) {
    list_.Close();
    Sql("DROP TABLE IF EXISTS \"" + table + "\"");
    Sql("CREATE TABLE \"" + table + "\" (" + definition);
    ASSERT_TRUE(list_.Open(source_).ok());
  }

  // Adds subscribers by address, in order, with |keys| as their "ID" when
  // given (SQL expressions); "NULL" stands for a row without address.
  void AddRows(const std::vector<std::string>& addresses,
               const std::vector<std::string>& keys = {}) {
    for (size_t i = 0; i < addresses.size(); ++i) {
      std::string address = addresses[i] == "NULL" ? "NULL" : "'" + addresses[i] + "'";
      Sql(keys.empty() ? "INSERT INTO \"MailingList\" (\"Name\", \"E-Mail\") VALUES ('n" +
                             std::to_string(i) + "', " + address + ")"
                       : "INSERT INTO \"MailingList\" (\"ID\", \"Name\", \"E-Mail\") VALUES (" +
                             keys[i] + ", 'n" + std::to_string(i) + "', " + address + ")");
    }
  }

  std::vector<std::string> Addresses() {
    std::vector<std::optional<std::string>> read;
    Status status = ReadSubscriberAddresses(list_, &read);
    EXPECT_TRUE(status.ok()) << status.message();
    std::vector<std::string> addresses;
    for (const auto& address : read) addresses.push_back(address.value_or("NULL"));
    return addresses;
  }

  // Every address as the record set walks MailingList, after its count.
  std::vector<std::string> Walk() {
    Recordset rows;
    EXPECT_TRUE(rows.Open(kMailingList, list_.get()).ok());
    int64_t count = -1;
    EXPECT_TRUE(rows.RecordCount(&count).ok());
    std::vector<std::string> addresses;
    while (!rows.eof()) {
      std::optional<std::string> address;
      EXPECT_TRUE(rows.Fields("E-Mail", &address).ok());
      addresses.push_back(address.value_or("NULL"));
      EXPECT_TRUE(rows.MoveNext().ok());
    }
    EXPECT_EQ(count, static_cast<int64_t>(addresses.size()));
    return addresses;
  }

  // Unsubscribe's database work, reporting the first failure.
  Status Unsubscribe(const std::string& email) {
    Recordset lookup;
    Status status = lookup.Open(SubscriberLookupQuery(email), list_.get());
    int64_t count = 0;
    if (status.ok()) status = lookup.RecordCount(&count);
    if (status.ok() && count < 1) return Status::Error("not found");
    Recordset log;
    if (status.ok()) status = AppendRemoval(list_, "Op", lookup, &log);
    if (status.ok()) status = TrimRemovalLog(log);
    log.Close();
    if (status.ok()) status = lookup.Delete();
    return status;
  }

  // The first column of every row |sql| returns, null as "NULL".
  std::vector<std::string> Query(const std::string& sql) {
    return database::test_support::FirstColumn(list_.get(), sql, "NULL");
  }

  const bool sqlite_ = GetParam() == Backend::kSQLite;
};

TEST_P(ExistingTablesTest, EveryRowIsReadOnceAndRemovedAloneWhateverTheKeys) {
  Define("DeletedList", std::string(kRemovalColumns) + ")");
  {
    // A UNIQUE column that holds nulls, and no primary key. More rows than
    // the record set's first page, so that it pages.
    Define("MailingList", std::string(kSubscriberColumns) + ", UNIQUE (\"E-Mail\"))");
    std::vector<std::string> addresses = {"NULL", "a@x", "NULL"};
    for (int i = 0; i < 40; ++i) addresses.push_back("u" + std::to_string(i) + "@x");
    addresses.push_back("NULL");
    AddRows(addresses);
    EXPECT_EQ(addresses, Addresses());
    EXPECT_EQ(addresses, Walk());
    EXPECT_EQ(1, Exists("a@x"));
    ASSERT_TRUE(Unsubscribe("u20@x").ok());
    EXPECT_EQ(0, Exists("u20@x"));
    EXPECT_EQ(addresses.size() - 1, Addresses().size());
  }
  {
    // A key of two columns, one of them null: SQLite lets a primary key hold
    // nulls; PostgreSQL does not, so there it is a UNIQUE pair.
    Define("MailingList", std::string(kSubscriberColumns) + ", \"ID\" INTEGER, " +
                              (sqlite_ ? "PRIMARY KEY" : "UNIQUE") + " (\"ID\", \"Name\"))");
    AddRows({"a@x", "b@x", "c@x"}, {"1", "NULL", "NULL"});
    EXPECT_THAT(Addresses(), ElementsAre("a@x", "b@x", "c@x"));
    EXPECT_THAT(Walk(), ElementsAre("a@x", "b@x", "c@x"));
    ASSERT_TRUE(Unsubscribe("b@x").ok());
    EXPECT_THAT(Addresses(), ElementsAre("a@x", "c@x"));
    EXPECT_THAT(Query("SELECT \"E-Mail\" FROM \"DeletedList\""), ElementsAre("u20@x", "b@x"));
  }
  {
    // A column that takes the name of SQLite's row identifier.
    Define("MailingList", std::string(kSubscriberColumns) + ", \"rowid\" TEXT)");
    Sql("INSERT INTO \"MailingList\" (\"E-Mail\", \"rowid\") VALUES ('a@x', 'same'), "
        "('b@x', 'same')");
    ASSERT_TRUE(Unsubscribe("b@x").ok());
    EXPECT_THAT(Addresses(), ElementsAre("a@x"));
  }
  {
    // Floating-point keys whose shortest texts are equal: the removal takes
    // the row it looked up, not its neighbour.
    Define("MailingList", std::string(kSubscriberColumns) + ", \"ID\" " +
                              (sqlite_ ? "REAL" : "DOUBLE PRECISION") + " PRIMARY KEY)");
    AddRows({"exact@x", "near@x", "far@x"},
            {"0.3", "CAST(0.1 AS DOUBLE PRECISION) + CAST(0.2 AS DOUBLE PRECISION)",
             "0.30000000000000010"});
    EXPECT_THAT(Addresses(), ElementsAre("exact@x", "near@x", "far@x"));
    EXPECT_THAT(Walk(), ElementsAre("exact@x", "near@x", "far@x"));
    ASSERT_TRUE(Unsubscribe("near@x").ok());
    EXPECT_THAT(Addresses(), ElementsAre("exact@x", "far@x"));
    EXPECT_EQ(Query("SELECT \"ID\" FROM \"MailingList\" WHERE \"E-Mail\" = 'exact@x'").size(), 1u);
  }
}

TEST_P(ExistingTablesTest, TablesKeyedByTheirOwnTextTakeSubscribersAndRemovals) {
  // On SQLite without rowid, so the key is all there is; on PostgreSQL a
  // text key that does not grow. The log's key is a floating-point number.
  const std::string without_rowid = sqlite_ ? " WITHOUT ROWID" : "";
  const std::string text_key =
      sqlite_ ? "DEFAULT (lower(hex(randomblob(8))))" : "DEFAULT md5(random()::text)";
  const std::string real_key = sqlite_ ? "REAL PRIMARY KEY DEFAULT (abs(random() % 1000000) / 7.0)"
                                       : "DOUBLE PRECISION PRIMARY KEY DEFAULT random() / 7.0";
  Define("MailingList",
         "\"ID\" TEXT PRIMARY KEY " + text_key + ", " + kSubscriberColumns + ")" + without_rowid);
  Define("DeletedList", "\"ID\" " + real_key + ", " + kRemovalColumns + ")" + without_rowid);
  for (int i = 0; i < 50; ++i) {
    Sql("INSERT INTO \"DeletedList\" (\"Name\", \"DateDeleted\") VALUES ('old" + std::to_string(i) +
        "', '2020-01-01 00:00:" + (i < 10 ? "0" : "") + std::to_string(i) + "')");
  }
  for (const char* email : {"a@x", "b@x"}) {
    Recordset rows;
    Status status = AppendSubscriber(list_, {"N", email, "Road"}, &rows);
    ASSERT_TRUE(status.ok()) << status.message();
    // The record set holds the row as the table now does, key included.
    std::optional<std::string> read;
    ASSERT_TRUE(rows.Fields("E-Mail", &read).ok());
    EXPECT_EQ(email, read);
    int64_t count = 0;
    ASSERT_TRUE(rows.RecordCount(&count).ok());
    EXPECT_EQ(email == std::string("a@x") ? 1 : 2, count);
  }
  EXPECT_EQ(1, Exists("a@x"));
  EXPECT_THAT(Walk(), ::testing::UnorderedElementsAre("a@x", "b@x"));

  Status status = Unsubscribe("a@x");
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_THAT(Addresses(), ElementsAre("b@x"));
  // 51 rows, trimmed by date: the oldest went, the removal stays.
  std::vector<std::string> names =
      Query("SELECT \"Name\" FROM \"DeletedList\" ORDER BY \"DateDeleted\"");
  ASSERT_EQ(50u, names.size());
  EXPECT_EQ("old1", names.front());
  EXPECT_EQ("N", names.back());
}

TEST_P(ExistingTablesTest, LogKeepsItsNewestFiftyByDateWhateverItsRowOrder) {
  // No key: rows are told apart by the back end's own identifier, whose
  // order after deletes and a VACUUM is not the order of insertion.
  Define("MailingList", std::string(kSubscriberColumns) + ")");
  Define("DeletedList", std::string(kRemovalColumns) + ")");
  auto log = [this](int from, int to) {
    for (int i = from; i < to; ++i) {
      Sql("INSERT INTO \"DeletedList\" (\"Name\", \"DateDeleted\") VALUES ('r" + std::to_string(i) +
          "', '2026-01-01 00:" + (i < 10 ? "0" : "") + std::to_string(i) + ":00')");
    }
  };
  log(0, 40);
  Sql("DELETE FROM \"DeletedList\" WHERE \"Name\" IN ('r0', 'r1', 'r2', 'r3', 'r4', 'r5', 'r6', "
      "'r7', 'r8', 'r9')");
  list_.Close();
  Sql("VACUUM");
  ASSERT_TRUE(list_.Open(source_).ok());
  log(40, 60);  // 50 rows, the newest now in the freed places
  AddRows({"gone@x"});
  Status status = Unsubscribe("gone@x");
  ASSERT_TRUE(status.ok()) << status.message();

  std::vector<std::string> expected;
  for (int i = 11; i < 60; ++i) expected.push_back("r" + std::to_string(i));
  expected.push_back("n0");
  EXPECT_EQ(expected, Query("SELECT \"Name\" FROM \"DeletedList\" ORDER BY \"DateDeleted\""));
}

TEST_P(ExistingTablesTest, MissingColumnsAreNamed) {
  Define("DeletedList", std::string(kRemovalColumns) + ")");
  {
    // Without it, SQLite reads "E-Mail" as a text: every address would be
    // "not found", and the text E-Mail itself a duplicate.
    Define("MailingList", "\"Name\" TEXT, \"EMail\" TEXT)");
    Sql("INSERT INTO \"MailingList\" (\"Name\", \"EMail\") VALUES ('n', 'a@x')");
    const std::string missing = "The table MailingList has no column E-Mail.";
    Recordset query;
    EXPECT_EQ(missing, query.Open(EmailExistsQuery("E-Mail"), list_.get()).message());
    Recordset lookup;
    EXPECT_EQ(missing, lookup.Open(SubscriberLookupQuery("a@x"), list_.get()).message());
    std::vector<std::optional<std::string>> addresses;
    EXPECT_EQ(missing, ReadSubscriberAddresses(list_, &addresses).message());
    EXPECT_TRUE(addresses.empty());
    EXPECT_EQ(missing, CheckListColumns(list_).message());
  }
  {
    Define("MailingList", "\"E-Mail\" TEXT, \"Name\" TEXT)");
    EXPECT_EQ("The table MailingList has no column MailingAddress.",
              CheckListColumns(list_).message());
    Recordset rows;
    EXPECT_THAT(AppendSubscriber(list_, {"N", "a@x", "Road"}, &rows).message(),
                HasSubstr("MailingAddress"));
    EXPECT_TRUE(Query("SELECT \"E-Mail\" FROM \"MailingList\"").empty());
  }
  {
    Define("MailingList", std::string(kSubscriberColumns) + ")");
    Define("DeletedList", "\"Name\" TEXT, \"E-Mail\" TEXT)");
    EXPECT_EQ("The table DeletedList has no column DeleterName.",
              CheckListColumns(list_).message());
    AddRows({"a@x"});
    // Nothing is logged, so the subscriber stays.
    EXPECT_THAT(Unsubscribe("a@x").message(), HasSubstr("DeleterName"));
    EXPECT_THAT(Addresses(), ElementsAre("a@x"));
  }
  {
    Define("DeletedList", std::string(kRemovalColumns) + ")");
    EXPECT_TRUE(CheckListColumns(list_).ok());
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, ExistingTablesTest,
                         ::testing::Values(Backend::kSQLite, Backend::kPostgreSQL),
                         testing_support::BackendTestName);

}  // namespace
}  // namespace verdanpost::mailinglist
