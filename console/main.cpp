// The console program: the user's settings store, the real dialogs, the
// window, the mailer made by ProgID and the list operations behind the
// window's buttons, wired together; on a first start it also gives the user
// the default list database.
#include <QApplication>
#include <QSettings>

#include "console/dispatch/list_operations.h"
#include "console/dispatch/mailer_client.h"
#include "console/mailinglist/list_database.h"
#include "console/setup/first_start.h"
#include "console/window/console_window.h"
#include "console/window/qt_dialogs.h"
#include "platform/command_line/standard_options.h"

namespace {

constexpr char kHelp[] =
    "Usage: verdanpost-console [--help | --version]\n"
    "Opens the Verdanpost console: the window in which the operator adds and\n"
    "removes the subscribers of the mailing list behind the ODBC data source\n"
    "\"vestro\", edits the greeting, the farewell and the list message, and\n"
    "sends the list message to every subscriber.\n"
    "\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "The options every Qt program takes (such as -platform or -display) are\n"
    "accepted too. See verdanpost-console(1).\n";

}  // namespace

int main(int argc, char* argv[]) {
  // Answered before the application starts, so that they need no display.
  if (verdanpost::AnswerHelpOrVersion(argc, argv, "verdanpost-console", kHelp)) return 0;
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
  window.show();
  verdanpost::setup::SetUpListDatabaseOnFirstStart(dialogs);
  return app.exec();
}
