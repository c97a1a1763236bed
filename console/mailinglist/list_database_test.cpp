#include "console/mailinglist/list_database.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <thread>
#include <vector>

#include "console/mailinglist/list_schema.h"
#include "console/mailinglist/list_test_support.h"
#include "platform/database/database_test_support.h"
#include "platform/database/query.h"
#include "platform/database/statement.h"
#include "platform/database/write_lock.h"

namespace verdanpost::mailinglist {
namespace {

using database::test_support::Backend;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

using Row = std::map<std::string, std::string>;

// Returns once another connection waits for a lock that |list| holds, or
// |other_finished| is ready. PostgreSQL tells of the wait; SQLite does not,
// so there it gives the other side a while to reach the lock.
void WaitForAWaiter(ListConnection& list, const std::shared_future<void>& other_finished) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  if (list.get()->dialect().kind() != database::Dialect::kPostgreSQL) {
    other_finished.wait_for(std::chrono::milliseconds(500));
    return;
  }
  while (std::chrono::steady_clock::now() < give_up &&
         other_finished.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
    int64_t waiting = 0;
    database::QueryNumber(*list.get(), "SELECT COUNT(*) FROM pg_locks WHERE NOT granted", {},
                          &waiting);
    if (waiting > 0) return;
  }
}

// The list operations as Subscribe, Unsubscribe and the bulk send run them,
// on every back end, over the tables that CreateTables makes.
class ListDatabaseTest : public testing_support::ListBackendTest {
 protected:
  void SetUp() override {
    ListBackendTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(CreateTables(list_.get()).ok());
    // As an operator's older list: several rows may share an address, and
    // only the lock keeps Add from writing a second.
    database::test_support::Execute(source_, "DROP INDEX \"MailingList_E-Mail_unique\"");
  }

  void Subscribe(const std::string& name, const std::string& email) {
    Recordset rows;
    Status status = AppendSubscriber(list_, {name, email, "1 Road\r\nTown"}, &rows);
    ASSERT_TRUE(status.ok()) << status.message();
  }

  // Unsubscribe's database work; the rows it removed.
  int64_t Unsubscribe(const std::string& deleter, const std::string& email) {
    database::WriteLock lock(list_.get());
    Status status = LockMailingList(&lock);
    EXPECT_TRUE(status.ok()) << status.message();
    Recordset lookup;
    status = lookup.Open(SubscriberLookupQuery(email), list_.get());
    EXPECT_TRUE(status.ok()) << status.message();
    Recordset log;
    int64_t removed = 0;
    status = LogRemovals(list_, deleter, lookup, &log, &removed);
    EXPECT_TRUE(status.ok()) << status.message();
    if (removed == 0) return 0;
    status = DeleteEveryRow(lookup);
    if (status.ok()) status = lock.Commit();
    EXPECT_TRUE(status.ok()) << status.message();
    status = TrimRemovalLog(log);
    EXPECT_TRUE(status.ok()) << status.message();
    return removed;
  }

  // Add's database work on a connection of its own, as a second console
  // would run it: "taken", or "added" once |while_locked| has returned
  // between the check and the insert (where the greeting goes).
  std::string Add(const std::string& email,
                  const std::function<void(ListConnection&)>& while_locked) {
    ListConnection list;
    Status status = list.Open(source_);
    database::WriteLock lock(list.get());
    if (status.ok()) status = LockMailingList(&lock);
    Recordset query;
    if (status.ok()) status = query.Open(EmailExistsQuery(email), list.get());
    int64_t count = 0;
    if (status.ok()) status = query.RecordCount(&count);
    if (!status.ok()) return status.message();
    if (count > 0) return "taken";
    while_locked(list);
    query.Close();
    Recordset rows;
    status = AppendSubscriber(list, {"N", email, ""}, &rows);
    if (status.ok()) status = lock.Commit();
    rows.Close();
    list.Close();
    return status.ok() ? "added" : status.message();
  }

  std::vector<Row> Rows(const std::string& table, const std::vector<std::string>& columns) {
    std::vector<Row> rows;
    Recordset records;
    EXPECT_TRUE(records.Open(table, list_.get()).ok());
    while (!records.eof()) {
      Row& row = rows.emplace_back();
      for (const std::string& column : columns) {
        EXPECT_TRUE(FieldText(records, column, &row[column]).ok()) << column;
      }
      EXPECT_TRUE(records.MoveNext().ok());
    }
    return rows;
  }

  std::vector<std::string> Column(const std::string& table, const std::string& column) {
    std::vector<std::string> values;
    for (Row& row : Rows(table, {column})) values.push_back(row[column]);
    return values;
  }

  // The first column of every row |sql| returns, null as "<null>".
  std::vector<std::string> Query(const std::string& sql) {
    return database::test_support::FirstColumn(list_.get(), sql, "<null>");
  }

  // Fills DeletedList with |count| rows named log0, log1, ... in that order.
  void FillLog(int count) {
    for (int i = 0; i < count; ++i) {
      database::test_support::Execute(
          source_,
          "INSERT INTO \"DeletedList\" (\"Name\") VALUES ('log" + std::to_string(i) + "')");
    }
  }
};

TEST_P(ListDatabaseTest, ExistenceCountsEveryRowOfTheAddressWhateverItsCase) {
  EXPECT_EQ(0, Exists("a@x"));
  Subscribe("A", "a@x");
  EXPECT_EQ(1, Exists("a@x"));
  Subscribe("A again", "A@X");
  EXPECT_EQ(2, Exists("a@x"));
  EXPECT_EQ(2, Exists("A@x"));
  // Compared whole: no trimming, no pattern; rows keep the case typed.
  EXPECT_EQ(0, Exists(" a@x"));
  EXPECT_EQ(0, Exists("a@"));
  EXPECT_EQ(0, Exists("%"));
  EXPECT_EQ((std::vector<std::string>{"a@x", "A@X"}), Column("MailingList", "E-Mail"));
}

TEST_P(ListDatabaseTest, TwoAddsOfOneAddressAtOnceWriteOneRow) {
  std::promise<void> first_locked;
  std::promise<void> second_done;
  std::shared_future<void> second_finished = second_done.get_future().share();
  std::string first, second;
  std::thread one([&] {
    first = Add("carl@example.org", [&](ListConnection& list) {
      first_locked.set_value();
      // Holds the lock until the second Add waits for it (PostgreSQL shows
      // the wait; SQLite does not, so it gets a while), or has ended: an
      // Add that did not wait would end here with its own row.
      WaitForAWaiter(list, second_finished);
    });
  });
  first_locked.get_future().wait();
  std::thread two([&] {
    second = Add("Carl@Example.ORG", [](ListConnection&) {});
    second_done.set_value();
  });
  one.join();
  two.join();
  EXPECT_EQ("added", first);
  EXPECT_EQ("taken", second);
  EXPECT_EQ(std::vector<std::string>{"carl@example.org"}, Column("MailingList", "E-Mail"));
}

TEST_P(ListDatabaseTest, AppendWritesTheSubscribersRow) {
  std::string before = CurrentDateTimeText();
  Subscribe("Ann", "ann@x");
  std::vector<Row> rows = Rows(
      "MailingList", {"Name", "E-Mail", "MailingAddress", "BraSize", "DateCreated", "IPAddress"});
  ASSERT_EQ(1u, rows.size());
  EXPECT_EQ("Ann", rows[0]["Name"]);
  EXPECT_EQ("ann@x", rows[0]["E-Mail"]);
  EXPECT_EQ("1 Road\r\nTown", rows[0]["MailingAddress"]);
  EXPECT_EQ("0", rows[0]["BraSize"]);
  EXPECT_EQ("127.0.0.1", rows[0]["IPAddress"]);
  EXPECT_THAT(rows[0]["DateCreated"],
              MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}"));
  EXPECT_GE(rows[0]["DateCreated"], before);
}

TEST_P(ListDatabaseTest, UnsubscribeLogsAndRemovesEveryRowOfTheAddress) {
  Subscribe("first", "twin@x");
  Subscribe("other", "other@x");
  Subscribe("second", "Twin@X");
  EXPECT_EQ(0, Unsubscribe("Op", "nobody@x"));
  EXPECT_TRUE(Column("DeletedList", "Name").empty());

  EXPECT_EQ(2, Unsubscribe("Typed Name", "TWIN@x"));
  EXPECT_EQ(std::vector<std::string>{"other"}, Column("MailingList", "Name"));
  std::vector<Row> log = Rows("DeletedList", {"DeleterName", "Name", "E-Mail", "DateCreated",
                                              "DateDeleted", "IPCreatedFrom", "IPDeletedFrom"});
  ASSERT_EQ(2u, log.size());
  EXPECT_EQ("Typed Name", log[0]["DeleterName"]);
  EXPECT_EQ("first", log[0]["Name"]);
  EXPECT_EQ("twin@x", log[0]["E-Mail"]);
  EXPECT_EQ("127.0.0.1", log[0]["IPCreatedFrom"]);
  EXPECT_EQ("127.0.0.1", log[0]["IPDeletedFrom"]);
  EXPECT_GE(log[0]["DateDeleted"], log[0]["DateCreated"]);
  EXPECT_EQ("second", log[1]["Name"]);
  EXPECT_EQ("Twin@X", log[1]["E-Mail"]);
}

TEST_P(ListDatabaseTest, NullsAreLoggedAsEmptyText) {
  database::test_support::Execute(source_,
                                  "INSERT INTO \"MailingList\" (\"E-Mail\") VALUES ('n@x')");
  ASSERT_EQ(1, Unsubscribe("Op", "n@x"));
  std::vector<Row> log =
      Rows("DeletedList", {"Name", "E-Mail", "DateCreated", "IPCreatedFrom", "IPDeletedFrom"});
  ASSERT_EQ(1u, log.size());
  EXPECT_EQ((Row{{"Name", ""},
                 {"E-Mail", "n@x"},
                 {"DateCreated", ""},
                 {"IPCreatedFrom", ""},
                 {"IPDeletedFrom", "127.0.0.1"}}),
            log[0]);
}

TEST_P(ListDatabaseTest, LogKeepsTheFiftyMostRecentRemovals) {
  // 48 + 1 removal: 49 rows, nothing trimmed.
  FillLog(48);
  Subscribe("r1", "r1@x");
  ASSERT_TRUE(Unsubscribe("Op", "r1@x"));
  std::vector<std::string> names = Column("DeletedList", "Name");
  ASSERT_EQ(49u, names.size());
  EXPECT_EQ("log0", names.front());
  EXPECT_EQ("r1", names.back());

  // 49 + 1: 50 rows, nothing trimmed.
  Subscribe("r2", "r2@x");
  ASSERT_TRUE(Unsubscribe("Op", "r2@x"));
  names = Column("DeletedList", "Name");
  ASSERT_EQ(50u, names.size());
  EXPECT_EQ("log0", names.front());
  EXPECT_EQ("r2", names.back());

  // 50 + 1: the oldest goes, the new removal stays, and so on every time.
  for (const char* name : {"r3", "r4"}) {
    Subscribe(name, std::string(name) + "@x");
    ASSERT_TRUE(Unsubscribe("Op", std::string(name) + "@x"));
  }
  names = Column("DeletedList", "Name");
  ASSERT_EQ(50u, names.size());
  EXPECT_EQ("log2", names.front());
  EXPECT_EQ("r3", names[48]);
  EXPECT_EQ("r4", names.back());
}

TEST_P(ListDatabaseTest, LogAlreadyPastFiftyIsTrimmedToFifty) {
  FillLog(51);
  Subscribe("r", "r@x");
  ASSERT_TRUE(Unsubscribe("Op", "r@x"));
  std::vector<std::string> names = Column("DeletedList", "Name");
  ASSERT_EQ(50u, names.size());
  EXPECT_EQ("log2", names.front());
  EXPECT_EQ("r", names.back());
}

TEST_P(ListDatabaseTest, TrimKeepsTheNewRemovalWhateverItsKey) {
  // An operator's log whose key does not grow: the new row's key sorts
  // before every other, yet it is the one most recent removal.
  database::test_support::Execute(source_, "DROP TABLE \"DeletedList\"");
  database::test_support::Execute(
      source_,
      "CREATE TABLE \"DeletedList\" (\"ID\" TEXT PRIMARY KEY DEFAULT 'a-new', "
      "\"DeleterName\" TEXT, \"Name\" TEXT, \"E-Mail\" TEXT, \"DateCreated\" TEXT, "
      "\"DateDeleted\" TEXT, \"IPCreatedFrom\" TEXT, \"IPDeletedFrom\" TEXT)");
  for (int i = 10; i < 60; ++i) {
    database::test_support::Execute(
        source_, "INSERT INTO \"DeletedList\" (\"ID\", \"Name\") VALUES ('m" + std::to_string(i) +
                     "', 'log" + std::to_string(i) + "')");
  }
  Subscribe("r", "r@x");
  ASSERT_TRUE(Unsubscribe("Op", "r@x"));
  // In the order of that key.
  std::vector<std::string> names = Query("SELECT \"Name\" FROM \"DeletedList\" ORDER BY \"ID\"");
  ASSERT_EQ(50u, names.size());
  EXPECT_EQ("r", names.front());
  EXPECT_EQ("log11", names[1]);
}

TEST_P(ListDatabaseTest, HostileAddressesAreComparedWholeAndChangeNothingElse) {
  const std::vector<std::string> hostile = {"o'hara@x", "x'; DROP TABLE \"MailingList\"; --",
                                            "%@x",      "a@x' OR '1'='1",
                                            "[E-Mail]", "SELECT * FROM DeletedList"};
  Subscribe("plain", "a@x");
  for (const std::string& address : hostile) Subscribe("h", address);
  for (const std::string& address : hostile) EXPECT_EQ(1, Exists(address)) << address;
  EXPECT_EQ(0, Exists("o'hara@"));
  EXPECT_EQ(0, Exists("ohara@x"));

  ASSERT_EQ(1, Unsubscribe("Op", "a@x' OR '1'='1"));
  std::vector<std::string> left = Column("MailingList", "E-Mail");
  EXPECT_EQ(6u, left.size());
  EXPECT_EQ("a@x", left.front());
  EXPECT_EQ(std::vector<std::string>{"a@x' OR '1'='1"}, Column("DeletedList", "E-Mail"));
}

TEST_P(ListDatabaseTest, BulkWalkReadsEveryAddressInListOrder) {
  {
    Recordset rows;
    ASSERT_TRUE(rows.Open(kMailingList, list_.get()).ok());
    EXPECT_TRUE(rows.eof());
  }
  for (const char* email : {"c@x", "a@x", "b@x"}) Subscribe("n", email);
  Recordset rows;
  ASSERT_TRUE(rows.Open(kMailingList, list_.get()).ok());
  int64_t count = 0;
  ASSERT_TRUE(rows.RecordCount(&count).ok());
  EXPECT_EQ(3, count);
  std::vector<std::string> addresses;
  while (!rows.eof()) {
    ASSERT_TRUE(FieldText(rows, "E-Mail", &addresses.emplace_back()).ok());
    ASSERT_TRUE(rows.MoveNext().ok());
  }
  EXPECT_EQ((std::vector<std::string>{"c@x", "a@x", "b@x"}), addresses);

  // The bulk send's read: the same addresses in the same order.
  std::vector<std::optional<std::string>> read;
  ASSERT_TRUE(ReadSubscriberAddresses(list_, &read).ok());
  EXPECT_EQ((std::vector<std::optional<std::string>>{"c@x", "a@x", "b@x"}), read);
}

TEST_P(ListDatabaseTest, FailuresCarryTheDriverText) {
  bool sqlite = GetParam() == Backend::kSQLite;
  Subscribe("s", "s@x");
  database::test_support::Execute(source_, "DROP TABLE \"DeletedList\"");
  {
    Recordset lookup;
    ASSERT_TRUE(lookup.Open(SubscriberLookupQuery("s@x"), list_.get()).ok());
    Recordset log;
    Status status = AppendRemoval(list_, "Op", lookup, &log);
    EXPECT_THAT(status.message(), HasSubstr(sqlite ? "no such table: DeletedList"
                                                   : "The specified table does not exist"));
    // The subscriber stays when the removal cannot be logged.
    EXPECT_EQ(1, Exists("s@x"));
  }
  database::test_support::Execute(source_, "DROP TABLE \"MailingList\"");
  {
    Recordset query;
    Status status = query.Open(EmailExistsQuery("s@x"), list_.get());
    EXPECT_THAT(status.message(), HasSubstr(sqlite ? "no such table: MailingList"
                                                   : "relation \"MailingList\" does not exist"));
    EXPECT_FALSE(query.is_open());
  }
  {
    ListConnection other;
    EXPECT_EQ(
        "[unixODBC][Driver Manager]Data source name not found and no default driver specified "
        "(SQLSTATE IM002)",
        other.Open("nosuchsource").message());
  }
  {
    ListConnection other;
    EXPECT_THAT(other.Open(database::test_support::UnreachableDataSource()).message(),
                HasSubstr("Is the server running locally and accepting connections"));
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, ListDatabaseTest,
                         ::testing::Values(Backend::kSQLite, Backend::kPostgreSQL),
                         testing_support::BackendTestName);

}  // namespace
}  // namespace verdanpost::mailinglist
