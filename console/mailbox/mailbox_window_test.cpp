// Check Mailbox in the window: where its button sits and how the keyboard
// reaches it, and the reading off the window's thread under its dialog.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include "console/mailbox/check_mailbox_command.h"
#include "console/mailbox/mailbox_progress_dialog.h"
#include "console/window/console_window.h"
#include "console/window/recording_dialogs_test_support.h"
#include "console/window/test_application_test_support.h"

namespace verdanpost::mailbox {
namespace {

class MailboxWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::EnsureTestApplication();
    settings_ = std::make_unique<QSettings>(dir_.filePath("settings.ini"), QSettings::IniFormat);
    window_ = std::make_unique<ConsoleWindow>(*settings_, dialogs_);
  }

  QTemporaryDir dir_;
  std::unique_ptr<QSettings> settings_;
  testing_support::RecordingDialogs dialogs_;
  std::unique_ptr<ConsoleWindow> window_;
};

TEST_F(MailboxWindowTest, ButtonSitsOnTheRemovePageAfterDeleteWithAnAccessKeyOfItsOwn) {
  QPushButton* button = PlaceCheckMailboxButton(*window_);
  EXPECT_EQ(button->parentWidget()->objectName(), "Frame(1)");
  EXPECT_EQ(button->text(), "Check &Mailbox");
  auto* remove = window_->findChild<QPushButton*>(QStringLiteral("Delete"));
  EXPECT_EQ(remove->nextInFocusChain(), button);
  // Fits on its page, below Delete.
  EXPECT_TRUE(button->parentWidget()->rect().contains(button->geometry()));
  EXPECT_GT(button->y(), remove->geometry().bottom());
  EXPECT_GE(button->width(), button->sizeHint().width());
  for (const QAbstractButton* other : window_->findChildren<QAbstractButton*>()) {
    if (other != button) {
      EXPECT_NE(other->shortcut(), button->shortcut()) << other->objectName().toStdString();
    }
  }
}

TEST_F(MailboxWindowTest, ReadsOffTheWindowThreadAndStopsOnCancel) {
  window_->show();
  std::atomic<bool> off_thread{false};
  std::atomic<bool> stopped{false};
  int window_ticks = 0;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&window_ticks] { ++window_ticks; });
  tick.start(10);
  QString shown;
  // Once the dialog is up, read what it says and press its Cancel.
  QTimer press;
  QObject::connect(&press, &QTimer::timeout, [this, &shown, &press] {
    auto* dialog = window_->findChild<QDialog*>(QStringLiteral("MailboxProgress"));
    if (dialog == nullptr || !dialog->isVisible()) return;
    shown = dialog->windowTitle() + ": " +
            dialog->findChild<QLabel*>(QStringLiteral("MessageNumber"))->text();
    dialog->findChild<QAbstractButton*>(QStringLiteral("Cancel"))->click();
    press.stop();
  });
  press.start(20);
  RunWithMailboxProgress(*window_, [&](CheckProgress& progress) {
    off_thread = QThread::currentThread() != window_->thread();
    for (int i = 1; i <= 600000 && !progress.CancelRequested(); ++i) {
      progress.Reading(std::min(i, 7), 10);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    stopped = progress.CancelRequested();
  });
  EXPECT_TRUE(off_thread);
  EXPECT_TRUE(stopped);
  EXPECT_EQ(shown, "Checking Mailbox: Message 7 of 10");
  EXPECT_GT(window_ticks, 0) << "the window's thread kept turning its event loop";
  auto* dialog = window_->findChild<QDialog*>(QStringLiteral("MailboxProgress"));
  EXPECT_TRUE(dialog == nullptr || !dialog->isVisible());
}

}  // namespace
}  // namespace verdanpost::mailbox
