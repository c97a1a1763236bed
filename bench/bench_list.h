#ifndef VERDANPOST_BENCH_BENCH_LIST_H_
#define VERDANPOST_BENCH_BENCH_LIST_H_

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "console/mailinglist/list_database.h"
#include "console/mailinglist/list_schema.h"
#include "platform/database/statement.h"

namespace verdanpost::bench {

// Points "vestro" at the SQLite file `database` through ini files written in
// `dir`, for this process only.
inline void DefineDataSource(const std::filesystem::path& dir,
                             const std::filesystem::path& database) {
  std::ifstream drivers("/etc/odbcinst.ini");
  std::stringstream text;
  text << drivers.rdbuf();
  std::ofstream(dir / "odbcinst.ini") << text.str();
  std::ofstream(dir / "odbc.ini") << "[vestro]\nDriver = SQLite3\nDatabase = " << database.string()
                                  << "\n";
  std::ofstream(dir / "user.ini") << "";
  setenv("ODBCSYSINI", dir.c_str(), 1);
  setenv("ODBCINI", (dir / "user.ini").c_str(), 1);
}

// Creates the list tables and fills MailingList with `subscribers` rows,
// user1@example.org, user2@example.org, ... in that order.
inline database::Status FillMailingList(mailinglist::ListConnection& list, int subscribers) {
  database::Status status = mailinglist::CreateTables(list.get());
  if (!status.ok()) return status;
  database::Statement fill;
  return fill.Execute(list.get()->handle(),
                      "INSERT INTO \"MailingList\" (\"Name\", \"E-Mail\", \"MailingAddress\", "
                      "\"BraSize\", \"DateCreated\", \"IPAddress\") "
                      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                          std::to_string(subscribers) +
                          ") SELECT 'Subscriber ' || i, 'user' || i || '@example.org', "
                          "i || ' Long Road', 0, '2026-12-07 14:03:09', '127.0.0.1' FROM n",
                      {});
}

}  // namespace verdanpost::bench

#endif  // VERDANPOST_BENCH_BENCH_LIST_H_
