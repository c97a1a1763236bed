#include "console/setup/first_start.h"

#include <gtest/gtest.h>

#include "console/mailinglist/list_database.h"
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
                           " and the ODBC data source \"vestro\" that names it.\n\nFirst steps: "
                           "on the Setup page, enter the From name and e-mail address and the "
                           "SMTP server. On the Messages page, write the three messages: Send "
                           "(to the whole list), Addition (the greeting to a new subscriber) and "
                           "Removal (the farewell), each as text with Use Text or from a chosen "
                           "file.";
  EXPECT_EQ(dialogs.messages, std::vector<QString>{expected});
}

TEST_F(FirstStartTest, AnEmptiedOrDeletedDatabaseGetsItsTablesAgain) {
  RecordingDialogs dialogs;
  SetUpListDatabaseOnFirstStart(dialogs);
  const QString recreated = "The list database " + QString::fromStdString(database_) +
                            " was empty or missing, so its tables were created again: the list "
                            "has no subscribers.";
  for (bool remove : {false, true}) {
    // What a deleted database leaves: an empty file, or none at all.
    if (remove) {
      std::filesystem::remove(database_);
    } else {
      std::filesystem::resize_file(database_, 0);
    }
    dialogs.messages.clear();
    SetUpListDatabaseOnFirstStart(dialogs);
    EXPECT_EQ(dialogs.messages, std::vector<QString>{recreated});
    // Straight to the file: the driver manager may still hold an earlier
    // test's data sources.
    mailinglist::ListConnection list;
    database::Status status = list.Open("Driver=SQLite3;Database=" + database_);
    ASSERT_TRUE(status.ok()) << status.message();
    status = mailinglist::CheckListColumns(list);
    EXPECT_TRUE(status.ok()) << status.message();
    list.Close();
  }
  // A list with its tables is left alone, and nothing is said.
  dialogs.messages.clear();
  SetUpListDatabaseOnFirstStart(dialogs);
  EXPECT_TRUE(dialogs.messages.empty());
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
