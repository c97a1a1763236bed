#ifndef VERDANPOST_CONSOLE_MAILINGLIST_LIST_EXPORT_H_
#define VERDANPOST_CONSOLE_MAILINGLIST_LIST_EXPORT_H_

// Taking a list out as a CSV file: verdanpost-listdb export and the
// console's Export... command.

#include <cstdint>
#include <string>

#include "console/mailinglist/list_database.h"

namespace verdanpost::mailinglist {

struct ExportOptions {
  bool removed = false;  // DeletedList instead of MailingList
  // A field starting with "=", "+", "-" or "@" gets a leading "'", and the
  // file starts with a UTF-8 byte-order mark, so that a spreadsheet opens it
  // as text. Off, the file holds the data exactly.
  bool for_spreadsheet = false;
};

// Writes every row of the table, every column, in list order (the order of
// the table's key) to the CSV file |path|: a header row with the column
// names, then one record per row, fields separated by "," and lines ended by
// CR LF; a null is an empty field. The file is written whole under a
// temporary name and then renamed, so an existing file is replaced only by
// a complete export. *rows tells how many were written.
Status ExportList(ListConnection& list, const std::string& path, const ExportOptions& options,
                  int64_t* rows);

}  // namespace verdanpost::mailinglist

#endif  // VERDANPOST_CONSOLE_MAILINGLIST_LIST_EXPORT_H_
