// verdanpost-listdb create-tables [DATA_SOURCE]: creates the list tables
// behind an ODBC data source ("vestro" by default) where they are missing.
// verdanpost-listdb setup-default: gives a user without "vestro" the default
// list database, as the console does on its first start.

#include <cstdio>
#include <cstring>
#include <string>

#include "console/mailinglist/list_database.h"
#include "console/mailinglist/list_schema.h"
#include "console/setup/default_data_source.h"
#include "platform/command_line/standard_options.h"

namespace {

constexpr char kHelp[] =
    "Usage: verdanpost-listdb create-tables [DATA_SOURCE]\n"
    "       verdanpost-listdb setup-default\n"
    "Sets up the list database of the Verdanpost console.\n"
    "\n"
    "  create-tables [DATA_SOURCE]  create the tables MailingList and DeletedList\n"
    "                               where they are missing, behind the ODBC data\n"
    "                               source DATA_SOURCE (default \"vestro\")\n"
    "  setup-default                give a user without the data source \"vestro\"\n"
    "                               an SQLite list database and that data source,\n"
    "                               as the console does on its first start\n"
    "  --help                       print this help and exit\n"
    "  --version                    print the version and exit\n"
    "\n"
    "See verdanpost-listdb(1).\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace verdanpost;
  if (AnswerHelpOrVersion(argc, argv, "verdanpost-listdb", kHelp)) return 0;
  if (argc == 2 && std::strcmp(argv[1], "setup-default") == 0) {
    setup::DefaultDataSourceResult result = setup::SetUpDefaultDataSource();
    std::string text = setup::SetupMessage(result);
    if (!text.empty()) std::fprintf(result.error.empty() ? stdout : stderr, "%s\n", text.c_str());
    return result.error.empty() ? 0 : 1;
  }
  if (argc < 2 || argc > 3 || std::strcmp(argv[1], "create-tables") != 0) {
    std::fprintf(stderr, "usage: %s create-tables [DATA_SOURCE]\n       %s setup-default\n",
                 argv[0], argv[0]);
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
