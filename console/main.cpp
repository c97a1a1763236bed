// The console program: the user's settings store, the real dialogs, the
// window, the mailer made by ProgID and the list operations behind the
// window's buttons, wired together; on a first start it also gives the user
// the default list database.
#include <QApplication>
#include <QPushButton>
#include <QSettings>

#include "console/dispatch/list_operations.h"
#include "console/dispatch/mailer_client.h"
#include "console/mailbox/check_mailbox_command.h"
#include "console/mailbox/mailbox_progress_dialog.h"
#include "console/mailinglist/list_database.h"
#include "console/setup/first_start.h"
#include "console/window/console_window.h"
#include "console/window/qt_dialogs.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QGuiApplication::setDesktopFileName(QStringLiteral("verdanpost-console"));
  QSettings settings(QSettings::IniFormat, QSettings::UserScope,
                     QStringLiteral("Verdanpost Console"));
  verdanpost::QtDialogs dialogs;
  verdanpost::ConsoleWindow window(settings, dialogs);
  dialogs.set_parent(&window);
  verdanpost::ProgIdMailerFactory mailers;
  verdanpost::ListOperations operations(window, mailers, verdanpost::mailinglist::kDataSourceName);
  window.SetOperations(&operations);
  verdanpost::mailbox::CheckMailboxCommand check_mailbox(
      window, mailers, verdanpost::mailinglist::kDataSourceName,
      [&window](const auto& work) { verdanpost::mailbox::RunWithMailboxProgress(window, work); });
  QObject::connect(verdanpost::mailbox::PlaceCheckMailboxButton(window), &QPushButton::clicked,
                   [&check_mailbox] { check_mailbox.CheckMailbox_Click(); });
  window.show();
  verdanpost::setup::SetUpListDatabaseOnFirstStart(dialogs);
  return app.exec();
}
