// The console program: the user's settings store, the real dialogs, the
// window, the mailer made by ProgID and the list operations behind the
// window's buttons, wired together; on a first start it also gives the user
// the default list database. The settings are written when the window
// closes, when the desktop session ends, and on SIGTERM or SIGHUP.
#include <cstdio>

#include <QApplication>
#include <QSessionManager>
#include <QPushButton>
#include <QSettings>

#include "console/window/list_commands.h"
#include "console/dispatch/list_operations.h"
#include "console/dispatch/mailer_client.h"
#include "console/mailbox/check_mailbox_command.h"
#include "console/mailbox/mailbox_progress_dialog.h"
#include "console/mailinglist/list_database.h"
#include "console/setup/first_start.h"
#include "console/window/console_window.h"
#include "console/window/list_command_buttons.h"
#include "console/window/qt_dialogs.h"
#include "console/window/stop_signals.h"
#include "console/window/transfer_file_dialogs.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QGuiApplication::setDesktopFileName(QStringLiteral("verdanpost-console"));
  // Caught from the start: a stop that comes while the window is being
  // made is handled once the event loop runs.
  verdanpost::StopSignals stop_signals;
  QSettings settings(QSettings::IniFormat, QSettings::UserScope,
                     QStringLiteral("Verdanpost Console"));
  verdanpost::QtDialogs dialogs;
  verdanpost::ConsoleWindow window(settings, dialogs);
  dialogs.set_parent(&window);

  const auto save_settings = [&window] {
    if (const std::optional<QString> error = window.SaveSettings()) {
      std::fprintf(stderr, "verdanpost-console: %s\n", qPrintable(*error));
    }
  };
  // The session may still be cancelled: the window stays, and closing it
  // later writes again.
  QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                   [&save_settings](QSessionManager&) { save_settings(); });
  bool stopped = false;
  QObject::connect(&stop_signals, &verdanpost::StopSignals::stopRequested, &window,
                   [&save_settings, &stopped] {
                     save_settings();
                     stopped = true;
                     QCoreApplication::exit(0);
                   });

  verdanpost::ProgIdMailerFactory mailers;
  verdanpost::ListOperations operations(window, mailers, verdanpost::mailinglist::kDataSourceName);
  window.SetOperations(&operations);
  verdanpost::QtTransferDialogs transfer_dialogs(&window);
  verdanpost::ListCommands commands(window, window, transfer_dialogs, mailers,
                                    verdanpost::mailinglist::kDataSourceName);
  verdanpost::ConnectListCommandButtons(verdanpost::AddListCommandButtons(window), commands);
  verdanpost::mailbox::CheckMailboxCommand check_mailbox(
      window, mailers, verdanpost::mailinglist::kDataSourceName,
      [&window](const auto& work) { verdanpost::mailbox::RunWithMailboxProgress(window, work); });
  QObject::connect(verdanpost::mailbox::PlaceCheckMailboxButton(window), &QPushButton::clicked,
                   [&check_mailbox] { check_mailbox.CheckMailbox_Click(); });
  window.show();
  verdanpost::setup::SetUpListDatabaseOnFirstStart(dialogs);
  // A stop during the first start's box has ended that box's loop only.
  return stopped ? 0 : app.exec();
}
