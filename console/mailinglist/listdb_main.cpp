// verdanpost-listdb create-tables [DATA_SOURCE]: creates the list tables
// behind an ODBC data source ("vestro" by default) where they are missing.
// verdanpost-listdb setup-default: gives a user without "vestro" the default
// list database, as the console does on its first start.
// verdanpost-listdb unique-addresses [DATA_SOURCE]: gives an existing list the
// unique index on its addresses, or lists the addresses held twice.
// verdanpost-listdb import|export FILE.csv [...]: see list_transfer_command.h.
// verdanpost-listdb check-mailbox [--remove] [DATA_SOURCE]: reads the list's
// mailbox (console/mailbox/check_mailbox_cli.h).

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "console/dispatch/import_greeter.h"
#include "console/mailbox/check_mailbox_cli.h"
#include "console/mailinglist/list_database.h"
#include "console/mailinglist/list_schema.h"
#include "console/mailinglist/list_transfer_command.h"
#include "console/setup/default_data_source.h"

namespace {

// unique-addresses: the index, or the rows that keep it from being made.
int UniqueAddresses(const char* program, const std::string& source) {
  using namespace verdanpost;
  database::Connection connection;
  std::vector<mailinglist::SharedAddress> shared;
  database::Status status = connection.Open(source);
  if (status.ok()) status = mailinglist::AddUniqueAddressIndex(&connection, &shared);
  connection.Close();
  if (!status.ok()) {
    std::fprintf(stderr, "%s: %s: %s\n", program, source.c_str(), status.message().c_str());
    return 1;
  }
  if (shared.empty()) {
    std::printf(
        "%s: each address of MailingList is now held by one row at most (letter case "
        "aside), and a second row for one is refused.\n",
        source.c_str());
    return 0;
  }
  std::fprintf(stderr,
               "%s: %s: %zu %s held by more than one row of MailingList (letter case aside); "
               "nothing was changed. Delete the rows you do not want, then run this again:\n",
               program, source.c_str(), shared.size(),
               shared.size() == 1 ? "address is" : "addresses are");
  for (const mailinglist::SharedAddress& rows : shared) {
    std::string typed;
    for (const std::string& row : rows) typed += (typed.empty() ? "" : ", ") + row;
    std::fprintf(stderr, "  %zu rows: %s\n", rows.size(), typed.c_str());
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace verdanpost;
  if (argc >= 2 && std::strcmp(argv[1], "check-mailbox") == 0) {
    return mailbox::CheckMailboxCommandLine(argc, argv);
  }
  if (argc == 2 && std::strcmp(argv[1], "setup-default") == 0) {
    setup::DefaultDataSourceResult result = setup::SetUpDefaultDataSource();
    std::string text = setup::SetupMessage(result);
    if (!text.empty()) std::fprintf(result.error.empty() ? stdout : stderr, "%s\n", text.c_str());
    return result.error.empty() ? 0 : 1;
  }
  if (argc >= 2 && argc <= 3 && std::strcmp(argv[1], "unique-addresses") == 0) {
    return UniqueAddresses(argv[0], argc == 3 ? argv[2] : mailinglist::kDataSourceName);
  }
  if (const std::vector<std::string> args(argv + 1, argv + argc);
      mailinglist::IsTransferCommand(args)) {
    return mailinglist::RunTransferCommand(args, mailinglist::kDataSourceName,
                                           GreeterFromStoredSettings, stdout, stderr);
  }
  if (argc < 2 || argc > 3 || std::strcmp(argv[1], "create-tables") != 0) {
    std::fprintf(stderr,
                 "usage: %s create-tables [DATA_SOURCE]\n       %s setup-default\n"
                 "       %s unique-addresses [DATA_SOURCE]\n"
                 "       %s import FILE.csv [--dry-run] [--greet]\n"
                 "       %s export FILE.csv [--removed] [--for-spreadsheet]\n"
                 "       %s check-mailbox [--remove] [DATA_SOURCE]\n",
                 argv[0], argv[0], argv[0], argv[0], argv[0], argv[0]);
    return 2;
  }
  std::string source = argc == 3 ? argv[2] : mailinglist::kDataSourceName;
  database::Status status = mailinglist::CreateTables(source);
  if (!status.ok()) {
    std::fprintf(stderr, "%s: %s: %s\n", argv[0], source.c_str(), status.message().c_str());
    return 1;
  }
  return 0;
}
