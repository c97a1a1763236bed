// The console program: the user's settings store, the real dialogs, the
// window, the mailer made by ProgID and the list operations behind the
// window's buttons, wired together; on a first start it also gives the user
// the default list database.
#include <QApplication>
#include <QSettings>

#include "console/dispatch/list_commands.h"
#include "console/dispatch/list_operations.h"
#include "console/dispatch/mailer_client.h"
#include "console/mailinglist/list_database.h"
#include "console/setup/first_start.h"
#include "console/window/console_window.h"
#include "console/window/list_command_buttons.h"
#include "console/window/qt_dialogs.h"
#include "console/window/transfer_file_dialogs.h"

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
  verdanpost::QtTransferDialogs transfer_dialogs(&window);
  verdanpost::ListCommands commands(window, window, transfer_dialogs, mailers,
                                    verdanpost::mailinglist::kDataSourceName);
  verdanpost::ConnectListCommandButtons(verdanpost::AddListCommandButtons(window), commands);
  window.show();
  verdanpost::setup::SetUpListDatabaseOnFirstStart(dialogs);
  return app.exec();
}
