#include "console/mailinglist/list_schema.h"

#include <gtest/gtest.h>

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

INSTANTIATE_TEST_SUITE_P(Backends, ListSchemaTest,
                         ::testing::Values(Backend::kSQLite, Backend::kPostgreSQL),
                         testing_support::BackendTestName);

}  // namespace
}  // namespace verdanpost::mailinglist
