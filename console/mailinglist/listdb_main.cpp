// verdanpost-listdb create-tables [DATA_SOURCE]: creates the list tables
// behind an ODBC data source ("vestro" by default) where they are missing.

#include <cstdio>
#include <cstring>
#include <string>

#include "console/mailinglist/list_database.h"
#include "console/mailinglist/list_schema.h"

int main(int argc, char** argv) {
  using namespace verdanpost;
  if (argc < 2 || argc > 3 || std::strcmp(argv[1], "create-tables") != 0) {
    std::fprintf(stderr, "usage: %s create-tables [DATA_SOURCE]\n", argv[0]);
    return 2;
  }
  std::string source = argc == 3 ? argv[2] : mailinglist::kDataSourceName;
  database::Connection connection;
  database::Status status = connection.Open(source);
  if (status.ok()) status = mailinglist::CreateTables(&connection);
  database::Status closed = connection.Close();
  if (status.ok()) status = closed;
  if (!status.ok()) {
    std::fprintf(stderr, "%s: %s: %s\n", argv[0], source.c_str(), status.message().c_str());
    return 1;
  }
  return 0;
}
