#include "console/window/qt_dialogs.h"

#include <memory>

#include <QAbstractItemView>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "console/window/console_window.h"
#include "console/window/test_application.h"

namespace verdanpost {
namespace {

TEST(QtNameFiltersTest, EntriesFollowTheSystemText) {
  EXPECT_EQ(QtNameFilters(kMessageFileFilter),
            (QStringList{"E-Mail Files (*.eml) (*.eml)", "All Files (*.*) (*)"}));
  EXPECT_EQ(QtNameFilters("Text|*.txt; *.eml"), (QStringList{"Text (*.txt *.eml)"}));
  EXPECT_EQ(QtNameFilters(""), QStringList());
  EXPECT_EQ(QtNameFilters("Odd entry without pattern"), QStringList());
}

class OpenDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureTestApplication();
    ASSERT_TRUE(dir_.isValid());
    dialog_ = std::make_unique<QFileDialog>();
    dialog_->setOption(QFileDialog::DontUseNativeDialog);
  }

  void Touch(const QString& name) {
    QFile file(dir_.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }

  // The names the dialog lists once it has read its directory.
  QStringList Listed() {
    auto* view = dialog_->findChild<QAbstractItemView*>("listView");
    auto* model = dialog_->findChild<QFileSystemModel*>();
    EXPECT_NE(view, nullptr);
    EXPECT_NE(model, nullptr);
    QElapsedTimer timer;
    timer.start();
    QStringList names;
    while (timer.elapsed() < 5000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
      names.clear();
      QAbstractItemModel* shown = view->model();
      for (int row = 0; row < shown->rowCount(view->rootIndex()); ++row) {
        names << shown->index(row, 0, view->rootIndex()).data().toString();
      }
      if (!names.isEmpty()) break;
    }
    names.sort();
    return names;
  }

  QTemporaryDir dir_;
  std::unique_ptr<QFileDialog> dialog_;  // made once the application exists
};

TEST_F(OpenDialogTest, ShowsTheSystemDescriptionsWithTheFirstSelected) {
  {
    // The real dialog is the one these tests look at, not a desktop's own.
    QFileDialog fresh;
    ConfigureOpenDialog(fresh, kMessageFileFilter, "");
    EXPECT_TRUE(fresh.testOption(QFileDialog::DontUseNativeDialog));
  }
  ConfigureOpenDialog(*dialog_, kMessageFileFilter, "");
  auto* types = dialog_->findChild<QComboBox*>("fileTypeCombo");
  ASSERT_NE(types, nullptr);
  ASSERT_EQ(types->count(), 2);
  EXPECT_EQ(types->itemText(0), "E-Mail Files (*.eml)");
  EXPECT_EQ(types->itemText(1), "All Files (*.*)");
  EXPECT_EQ(types->currentIndex(), 0);
  EXPECT_EQ(dialog_->findChild<QLineEdit*>("fileNameEdit")->text(), "");
}

TEST_F(OpenDialogTest, StartsWithTheGivenFile) {
  Touch("news.eml");
  ConfigureOpenDialog(*dialog_, kMessageFileFilter, dir_.filePath("news.eml"));
  EXPECT_EQ(QDir(dialog_->directory()).canonicalPath(), QDir(dir_.path()).canonicalPath());
  EXPECT_EQ(dialog_->findChild<QLineEdit*>("fileNameEdit")->text(), "news.eml");
}

TEST_F(OpenDialogTest, AllFilesIncludesNamesWithoutADot) {
  Touch("news.eml");
  Touch("README");
  Touch("notes.txt");
  ConfigureOpenDialog(*dialog_, kMessageFileFilter, "");
  dialog_->setDirectory(dir_.path());
  EXPECT_EQ(Listed(), (QStringList{"news.eml"}));
  dialog_->selectNameFilter(QtNameFilters(kMessageFileFilter).at(1));
  EXPECT_EQ(Listed(), (QStringList{"README", "news.eml", "notes.txt"}));
}

}  // namespace
}  // namespace verdanpost
