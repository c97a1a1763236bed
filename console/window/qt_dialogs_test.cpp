#include "console/window/qt_dialogs.h"

#include <functional>
#include <memory>
#include <utility>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include "console/window/console_window.h"
#include "console/window/test_application_test_support.h"

namespace verdanpost {
namespace {

using testing_support::EnsureTestApplication;

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

// Runs `answer` on the first top-level widget of type D that shows up while
// the dialogs run their own event loop, as an operator would.
template <typename D>
class Answerer {
 public:
  explicit Answerer(std::function<void(D&)> answer) : answer_(std::move(answer)) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<D*>(widget);
        if (dialog == nullptr || !dialog->isVisible()) continue;
        timer_.stop();
        seen = true;
        answer_(*dialog);
        return;
      }
    });
    timer_.start();
  }
  bool seen = false;

 private:
  std::function<void(D&)> answer_;
  QTimer timer_;
};

TEST(QtDialogsTest, RealDialogs) {
  EnsureTestApplication();
  QWidget window;
  window.show();
  QtDialogs dialogs;
  dialogs.set_parent(&window);
  {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::Critical;
    QList<QAbstractButton*> buttons;
    Qt::WindowModality modality = Qt::NonModal;
    Answerer<QMessageBox> operator_([&](QMessageBox& box) {
      title = box.windowTitle();
      text = box.text();
      icon = box.icon();
      buttons = box.buttons();
      modality = box.windowModality();
      box.button(QMessageBox::Ok)->click();
    });
    dialogs.ShowMessage("User added and message sent :-)!");
    ASSERT_TRUE(operator_.seen);
    EXPECT_EQ(title, "VerdanpostConsole");
    EXPECT_EQ(text, "User added and message sent :-)!");
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_EQ(buttons.size(), 1);
    EXPECT_EQ(modality, Qt::ApplicationModal);
  }
  {
    // A server's reply that looks like markup is shown as it came.
    const QString reply = "<a href=\"x\">550 refused</a> &lt;\r\nsecond line (5)";
    Qt::TextFormat format = Qt::AutoText;
    QString shown;
    Answerer<QMessageBox> operator_([&](QMessageBox& box) {
      const auto* label = box.findChild<QLabel*>("qt_msgbox_label");
      format = label != nullptr ? label->textFormat() : Qt::AutoText;
      shown = label != nullptr ? label->text() : QString();
      box.button(QMessageBox::Ok)->click();
    });
    dialogs.ShowMessage(reply);
    ASSERT_TRUE(operator_.seen);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(shown, reply);
  }
  {
    // A question: Yes and No, No the default, so Return and Esc both say No.
    QMessageBox::StandardButton default_button = QMessageBox::NoButton;
    QString title;
    for (const int key : {Qt::Key_Return, Qt::Key_Escape}) {
      Answerer<QMessageBox> operator_([&](QMessageBox& box) {
        title = box.windowTitle();
        default_button = box.standardButton(box.defaultButton());
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&box, &press);
      });
      EXPECT_FALSE(dialogs.Ask("Send \"News\" to 1,234 subscribers in 13 messages?")) << key;
      ASSERT_TRUE(operator_.seen);
      EXPECT_EQ(title, "VerdanpostConsole");
      EXPECT_EQ(default_button, QMessageBox::No);
    }
    Answerer<QMessageBox> operator_(
        [](QMessageBox& box) { box.button(QMessageBox::Yes)->click(); });
    EXPECT_TRUE(dialogs.Ask("Send \"News\" to 1 subscriber in 1 message?"));
  }
  {
    // A kept send: Yes, No and Discard, each saying what it says; Return
    // and Esc keep it for later.
    const QString question =
        "A send of \"News\" started on 2026-12-08 09:30 reached 1,000 of 3,000 subscribers. "
        "Send to the 2,000 not reached now?";
    QStringList shown;
    for (const int key : {Qt::Key_Return, Qt::Key_Escape}) {
      Answerer<QMessageBox> operator_([&](QMessageBox& box) {
        for (QAbstractButton* button : box.buttons()) shown << button->text().remove('&');
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&box, &press);
      });
      EXPECT_EQ(dialogs.AskKeptSend(question), KeptSendChoice::kLater) << key;
      ASSERT_TRUE(operator_.seen);
    }
    shown.sort();
    EXPECT_EQ(shown, QStringList({"Discard", "Discard", "No", "No", "Yes", "Yes"}));
    for (const auto& [button, choice] :
         {std::pair{QMessageBox::Yes, KeptSendChoice::kSendNow},
          std::pair{QMessageBox::Discard, KeptSendChoice::kDiscard}}) {
      Answerer<QMessageBox> operator_(
          [button = button](QMessageBox& box) { box.button(button)->click(); });
      EXPECT_EQ(dialogs.AskKeptSend(question), choice);
    }
  }
  QTemporaryDir dir;
  const QString chosen = dir.filePath("news.eml");
  {
    QFile file(chosen);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  {
    // Cancel answers nothing, so the caller keeps the name it had.
    Answerer<QFileDialog> operator_([](QFileDialog& dialog) { dialog.reject(); });
    EXPECT_EQ(dialogs.GetOpenFileName(kMessageFileFilter, chosen), std::nullopt);
    EXPECT_TRUE(operator_.seen);
  }
  {
    // Open on the name the dialog started with answers that file's path.
    Answerer<QFileDialog> operator_(
        [](QFileDialog& dialog) { QMetaObject::invokeMethod(&dialog, "accept"); });
    EXPECT_EQ(dialogs.GetOpenFileName(kMessageFileFilter, chosen), chosen);
    EXPECT_TRUE(operator_.seen);
  }
  {
    // Open on the name of a file that is not there yet answers that name.
    Answerer<QFileDialog> operator_([](QFileDialog& dialog) {
      QMetaObject::invokeMethod(&dialog, "accept", Qt::QueuedConnection);
      // A dialog that refused the name would wait for the operator: its
      // warning and the dialog itself are closed after a while instead.
      QTimer::singleShot(3000, &dialog, [&dialog] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
          if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible())
            box->done(0);
        }
        dialog.reject();
      });
    });
    const QString coming = dir.filePath("next-issue.eml");
    EXPECT_EQ(dialogs.GetOpenFileName(kMessageFileFilter, coming), coming);
    EXPECT_TRUE(operator_.seen);
  }
}

}  // namespace
}  // namespace verdanpost
