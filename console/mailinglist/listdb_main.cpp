// verdanpost-listdb create-tables [DATA_SOURCE]: creates the list tables
// behind an ODBC data source ("vestro" by default) where they are missing.
// verdanpost-listdb setup-default: gives a user without "vestro" the default
// list database, as the console does on its first start.
// verdanpost-listdb import|export FILE.csv [...]: see list_transfer_command.h.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "console/dispatch/import_greeter.h"
#include "console/mailinglist/list_database.h"
#include "console/mailinglist/list_schema.h"
#include "console/mailinglist/list_transfer_command.h"
#include "console/setup/default_data_source.h"

int main(int argc, char** argv) {
  using namespace verdanpost;
  if (argc == 2 && std::strcmp(argv[1], "setup-default") == 0) {
    setup::DefaultDataSourceResult result = setup::SetUpDefaultDataSource();
    std::string text = setup::SetupMessage(result);
    if (!text.empty()) std::fprintf(result.error.empty() ? stdout : stderr, "%s\n", text.c_str());
    return result.error.empty() ? 0 : 1;
  }
  if (const std::vector<std::string> args(argv + 1, argv + argc);
      mailinglist::IsTransferCommand(args)) {
    return mailinglist::RunTransferCommand(args, mailinglist::kDataSourceName, nullptr, stdout,
                                           stderr);
  }
  if (argc < 2 || argc > 3 || std::strcmp(argv[1], "create-tables") != 0) {
    std::fprintf(stderr,
                 "usage: %s create-tables [DATA_SOURCE]\n       %s setup-default\n"
                 "       %s import FILE.csv [--dry-run] [--greet]\n"
                 "       %s export FILE.csv [--removed] [--for-spreadsheet]\n",
                 argv[0], argv[0], argv[0], argv[0]);
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
