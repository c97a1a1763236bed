#include "console/setup/first_start.h"

#include <gtest/gtest.h>

#include "console/setup/scratch_odbc_home.h"
#include "console/window/recording_dialogs_test_support.h"

namespace verdanpost::setup {
namespace {

using FirstStartTest = ScratchOdbcHome;
using testing_support::RecordingDialogs;

TEST_F(FirstStartTest, SaysOnceWhatItCreated) {
  RecordingDialogs dialogs;
  SetUpListDatabaseOnFirstStart(dialogs);
  SetUpListDatabaseOnFirstStart(dialogs);
  const QString expected = "Created the list database " + QString::fromStdString(database_) +
                           " and the ODBC data source \"vestro\" that names it.";
  EXPECT_EQ(dialogs.messages, std::vector<QString>{expected});
}

TEST_F(FirstStartTest, SaysWhyItCouldNotCreateTheList) {
  Write(dir_ / "blocker", "");
  setenv("XDG_DATA_HOME", (dir_ / "blocker").c_str(), 1);
  RecordingDialogs dialogs;
  SetUpListDatabaseOnFirstStart(dialogs);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_TRUE(dialogs.messages[0].startsWith("Could not create the list database: cannot create " +
                                             QString::fromStdString((dir_ / "blocker").string())))
      << dialogs.messages[0].toStdString();
}

}  // namespace
}  // namespace verdanpost::setup
