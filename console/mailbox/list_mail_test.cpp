// ListMail on both back ends: created beside the list tables, findings
// stored in one transaction, read back while pending, and handled.
#include "console/mailbox/list_mail.h"

#include <gtest/gtest.h>

#include "console/mailinglist/list_schema.h"
#include "console/mailinglist/list_test_support.h"
#include "platform/database/database_test_support.h"

namespace verdanpost::mailbox {
namespace {

using database::test_support::Backend;

using ListMailTest = testing_support::ListBackendTest;

Finding Made(const std::string& address, FindingKind kind, uint32_t uid) {
  Finding f;
  f.address = address;
  f.kind = kind;
  f.status_code = kind == FindingKind::kHard ? "5.1.1" : "";
  f.status_text = "550 5.1.1 it's \"gone\"";
  f.date = "2026-12-07 14:03:09";
  f.uid = uid;
  f.folder = "INBOX";
  return f;
}

TEST_P(ListMailTest, StoresFindingsUntilARemovalHandlesThem) {
  ASSERT_TRUE(mailinglist::CreateTables(list_.get()).ok());
  database::Connection* connection = list_.get();
  database::Status status =
      AppendFindings(connection, {Made("Ann@Example.org", FindingKind::kHard, 4000000000u),
                                  Made("bob@x.test", FindingKind::kUnsubscribe, 7)});
  ASSERT_TRUE(status.ok()) << status.message();
  // Still in autocommit afterwards: a write on its own stays.
  ASSERT_TRUE(AppendFindings(connection, {Made("ann@example.org", FindingKind::kSoft, 9)}).ok());

  std::set<uint32_t> uids;
  ASSERT_TRUE(ReadStoredUids(connection, "INBOX", &uids).ok());
  EXPECT_EQ(uids, (std::set<uint32_t>{7, 9, 4000000000u}));
  ASSERT_TRUE(ReadStoredUids(connection, "Other", &uids).ok());
  EXPECT_TRUE(uids.empty());

  std::vector<Finding> pending;
  ASSERT_TRUE(ReadPendingFindings(connection, &pending).ok());
  ASSERT_EQ(pending.size(), 3u);
  EXPECT_EQ(pending[0].address, "Ann@Example.org");
  EXPECT_EQ(pending[0].kind, FindingKind::kHard);
  EXPECT_EQ(pending[0].status_text, "550 5.1.1 it's \"gone\"");
  EXPECT_EQ(pending[0].uid, 4000000000u);
  EXPECT_EQ(pending[1].kind, FindingKind::kUnsubscribe);

  ASSERT_TRUE(MarkAddressHandled(connection, "ANN@example.org", "2026-12-08 10:00:00").ok());
  ASSERT_TRUE(ReadPendingFindings(connection, &pending).ok());
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].address, "bob@x.test");
}

INSTANTIATE_TEST_SUITE_P(Backends, ListMailTest,
                         ::testing::Values(Backend::kSQLite, Backend::kPostgreSQL),
                         testing_support::BackendTestName);

}  // namespace
}  // namespace verdanpost::mailbox
