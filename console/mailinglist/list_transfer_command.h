#ifndef VERDANPOST_CONSOLE_MAILINGLIST_LIST_TRANSFER_COMMAND_H_
#define VERDANPOST_CONSOLE_MAILINGLIST_LIST_TRANSFER_COMMAND_H_

// verdanpost-listdb import FILE.csv [--dry-run] [--greet]
// verdanpost-listdb export FILE.csv [--removed] [--for-spreadsheet]

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "console/mailinglist/list_import.h"

namespace verdanpost::mailinglist {

// Makes the greeter of import --greet, or null with *err why it cannot.
using GreeterMaker = std::function<std::unique_ptr<ImportGreeter>(std::string* err)>;

// Whether |args| (the words after the program's name) start with import or
// export.
bool IsTransferCommand(const std::vector<std::string>& args);

// Runs import or export on the list behind |data_source|; the counts go to
// |out|, failures to |err|. Returns the exit status: 0 done (rows may have
// been skipped), 1 failed, 2 the words are wrong.
int RunTransferCommand(const std::vector<std::string>& args, const std::string& data_source,
                       const GreeterMaker& make_greeter, std::FILE* out, std::FILE* err);

}  // namespace verdanpost::mailinglist

#endif  // VERDANPOST_CONSOLE_MAILINGLIST_LIST_TRANSFER_COMMAND_H_
