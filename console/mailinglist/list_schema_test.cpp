#include "console/mailinglist/list_schema.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "console/mailinglist/list_database.h"
#include "console/mailinglist/list_test_support.h"
#include "platform/database/database_test_support.h"

namespace verdanpost::mailinglist {
namespace {

using database::test_support::Backend;

using ListSchemaTest = testing_support::ListBackendTest;

TEST_P(ListSchemaTest, CreatesEveryColumnAndKeepsWhatExists) {
  ASSERT_TRUE(CreateTables(list_.get()).ok());
  {
    Recordset rows;
    ASSERT_TRUE(AppendSubscriber(list_, {"n", "e@x", "m"}, &rows).ok());
  }
  {
    Recordset lookup;
    ASSERT_TRUE(lookup.Open(SubscriberLookupQuery("e@x"), list_.get()).ok());
    Recordset log;
    Status status = AppendRemoval(list_, "Op", lookup, &log);
    ASSERT_TRUE(status.ok()) << status.message();
    status = TrimRemovalLog(log);
    ASSERT_TRUE(status.ok()) << status.message();
  }
  // A second run changes nothing: the rows are still there.
  Status status = CreateTables(list_.get());
  ASSERT_TRUE(status.ok()) << status.message();
  for (const char* table : {kMailingList, kDeletedList}) {
    Recordset rows;
    ASSERT_TRUE(rows.Open(table, list_.get()).ok());
    int64_t count = 0;
    ASSERT_TRUE(rows.RecordCount(&count).ok());
    EXPECT_EQ(1, count) << table;
  }
}

TEST_P(ListSchemaTest, LeavesAnOperatorsOwnTableAlone) {
  // The operator's table: no key, a column of its own, a row.
  database::test_support::Execute(
      source_,
      "CREATE TABLE \"MailingList\" (\"Name\" TEXT, \"E-Mail\" TEXT, "
      "\"MailingAddress\" TEXT, \"BraSize\" INTEGER, \"DateCreated\" TEXT, "
      "\"IPAddress\" TEXT, \"Notes\" TEXT)");
  database::test_support::Execute(
      source_, "INSERT INTO \"MailingList\" (\"E-Mail\", \"Notes\") VALUES ('kept@x', 'mine')");
  ASSERT_TRUE(CreateTables(list_.get()).ok());
  Recordset rows;
  ASSERT_TRUE(rows.Open(EmailExistsQuery("kept@x"), list_.get()).ok());
  int64_t count = 0;
  ASSERT_TRUE(rows.RecordCount(&count).ok());
  EXPECT_EQ(1, count);
  Recordset whole;
  ASSERT_TRUE(whole.Open(kMailingList, list_.get()).ok());
  std::string notes;
  ASSERT_TRUE(FieldText(whole, "Notes", &notes).ok());
  EXPECT_EQ("mine", notes);
  Recordset log;
  EXPECT_TRUE(log.Open(kDeletedList, list_.get()).ok());
}

TEST_P(ListSchemaTest, ANewListHoldsEachAddressOnceWhateverItsCase) {
  ASSERT_TRUE(CreateTables(list_.get()).ok());
  {
    Recordset rows;
    ASSERT_TRUE(AppendSubscriber(list_, {"Carl", "carl@example.org", ""}, &rows).ok());
  }
  {
    // Refused by the database itself, whoever writes it.
    Recordset rows;
    EXPECT_FALSE(AppendSubscriber(list_, {"Carl", "Carl@Example.ORG", ""}, &rows).ok());
  }
  {
    Recordset rows;
    EXPECT_TRUE(AppendSubscriber(list_, {"Dora", "dora@example.org", ""}, &rows).ok());
  }
  std::vector<SharedAddress> shared;
  ASSERT_TRUE(AddUniqueAddressIndex(list_.get(), &shared).ok());
  EXPECT_TRUE(shared.empty());
}

TEST_P(ListSchemaTest, AnOlderListGetsItsUniqueIndexOnceNoAddressIsShared) {
  // A list made before the index: rows share addresses in any case.
  database::test_support::Execute(
      source_,
      "CREATE TABLE \"MailingList\" (\"Name\" TEXT, \"E-Mail\" TEXT, "
      "\"MailingAddress\" TEXT, \"BraSize\" INTEGER, \"DateCreated\" TEXT, "
      "\"IPAddress\" TEXT)");
  database::test_support::Execute(
      source_,
      "INSERT INTO \"MailingList\" (\"Name\", \"E-Mail\") VALUES ('1', 'carl@example.org'), "
      "('2', 'ann@example.org'), ('3', 'Carl@Example.ORG'), ('4', NULL), ('5', NULL), "
      "('6', 'ANN@example.org'), ('7', 'zoe@example.org')");
  ASSERT_TRUE(CreateTables(list_.get()).ok());
  std::vector<SharedAddress> shared;
  Status status = AddUniqueAddressIndex(list_.get(), &shared);
  ASSERT_TRUE(status.ok()) << status.message();
  // In order of the address; its forms in the database's own order.
  for (SharedAddress& forms : shared) std::sort(forms.begin(), forms.end());
  EXPECT_EQ(shared, (std::vector<SharedAddress>{{"ANN@example.org", "ann@example.org"},
                                                {"Carl@Example.ORG", "carl@example.org"}}));
  // Nothing deleted, nothing refused yet.
  database::test_support::Execute(
      source_, "INSERT INTO \"MailingList\" (\"E-Mail\") VALUES ('ZOE@example.org')");
  database::test_support::Execute(source_,
                                  "DELETE FROM \"MailingList\" WHERE \"Name\" IN ('3', '6') OR "
                                  "\"E-Mail\" = 'ZOE@example.org'");
  status = AddUniqueAddressIndex(list_.get(), &shared);
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_TRUE(shared.empty());
  Recordset rows;
  EXPECT_FALSE(AppendSubscriber(list_, {"Z", "Zoe@example.org", ""}, &rows).ok());
}

INSTANTIATE_TEST_SUITE_P(Backends, ListSchemaTest,
                         ::testing::Values(Backend::kSQLite, Backend::kPostgreSQL),
                         testing_support::BackendTestName);

}  // namespace
}  // namespace verdanpost::mailinglist
