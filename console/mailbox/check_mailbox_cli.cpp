#include "console/mailbox/check_mailbox_cli.h"

#include <cstdio>
#include <cstring>
#include <string>

#include <QSettings>

#include "console/dispatch/mailer_client.h"
#include "console/mailbox/farewells.h"
#include "console/mailbox/mailbox_session.h"
#include "console/mailinglist/list_database.h"
#include "console/settings/message_definition.h"
#include "console/settings/settings_store.h"
#include "mailer/smtp/server_settings.h"

namespace verdanpost::mailbox {

int CheckMailboxCommandLine(int argc, char** argv) {
  bool remove = false;
  std::string source = mailinglist::kDataSourceName;
  int named = 0;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--remove") == 0) {
      remove = true;
    } else if (argv[i][0] != '-' && named++ == 0) {
      source = argv[i];
    } else {
      std::fprintf(stderr, "usage: %s check-mailbox [--remove] [DATA_SOURCE]\n", argv[0]);
      return kSettingsInvalid;
    }
  }
  // The console's own store, where the list address and the farewell are.
  QSettings settings(QSettings::IniFormat, QSettings::UserScope,
                     QStringLiteral("Verdanpost Console"));
  SettingsStore store(settings);
  const SetupSettings setup = ReadSetupSettings(store);

  CheckResult result = RunCheck(ServerSettingsPath(), source, setup.ToEmail.trimmed().toStdString(),
                                OpenImapMailbox, nullptr);
  if (result.status != kCheckRead) {
    std::fprintf(stderr, "%s: %s\n", argv[0], result.error.c_str());
    return result.status;
  }
  std::printf("%s\n", SummaryText(result.summary).c_str());
  if (!remove) {
    if (!result.removals.empty()) {
      std::printf("%zu subscribers to remove; run with --remove to remove them.\n",
                  result.removals.size());
    }
    return kCheckRead;
  }
  const RemovalResult removed = RemoveAll(source, result.removals);
  QString failures;
  int sent = 0;
  if (!removed.farewells.empty()) {
    ProgIdMailerFactory mailers;
    sent = SendFarewells(mailers, {ReadMessageDefinition(store, QStringLiteral("Removal")), setup},
                         removed.farewells, &failures);
  }
  std::printf("%s\n", RemovalReport(removed, sent, failures).toStdString().c_str());
  return removed.error.empty() ? kCheckRead : kListDatabaseFailed;
}

}  // namespace verdanpost::mailbox
