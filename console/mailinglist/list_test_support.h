#ifndef VERDANPOST_CONSOLE_MAILINGLIST_LIST_TEST_SUPPORT_H_
#define VERDANPOST_CONSOLE_MAILINGLIST_LIST_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "console/mailinglist/list_database.h"
#include "platform/database/database_test_support.h"

namespace verdanpost::testing_support {

// The fixture of the list tests: an empty database on the back end of the
// test's parameter, behind a data source of its own, and a connection to it.
class ListBackendTest : public ::testing::TestWithParam<database::test_support::Backend> {
 protected:
  void SetUp() override {
    std::string why;
    source_ = database::test_support::UseEmptyDataSource(GetParam(), &why);
    if (source_.empty()) GTEST_FAIL() << why;
    ASSERT_TRUE(list_.Open(source_).ok());
  }

  void TearDown() override { list_.Close(); }

  // The rows of MailingList whose E-Mail is |email|, as Add counts them.
  int64_t Exists(const std::string& email) {
    mailinglist::Recordset query;
    mailinglist::Status status = query.Open(mailinglist::EmailExistsQuery(email), list_.get());
    EXPECT_TRUE(status.ok()) << status.message();
    int64_t count = -1;
    EXPECT_TRUE(query.RecordCount(&count).ok());
    return count;
  }

  std::string source_;
  mailinglist::ListConnection list_;
};

// Names each instantiation after its back end.
inline std::string BackendTestName(
    const ::testing::TestParamInfo<database::test_support::Backend>& info) {
  return database::test_support::BackendName(info.param);
}

}  // namespace verdanpost::testing_support

#endif  // VERDANPOST_CONSOLE_MAILINGLIST_LIST_TEST_SUPPORT_H_
