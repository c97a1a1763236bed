#ifndef VERDANPOST_CONSOLE_MAILINGLIST_LIST_IMPORT_H_
#define VERDANPOST_CONSOLE_MAILINGLIST_LIST_IMPORT_H_

// Bringing a list in from a CSV file: verdanpost-listdb import and the
// console's Import... command.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "console/mailinglist/list_database.h"

namespace verdanpost::mailinglist {

// Sends the greeting to one imported subscriber before the row is written.
// Abstract so that the import needs no mailer of its own.
class ImportGreeter {
 public:
  virtual ~ImportGreeter() = default;
  // True when the server accepted the greeting to |name| <|email|>; false
  // with *why the reason otherwise.
  virtual bool Greet(const std::string& name, const std::string& email, std::string* why) = 0;
};

struct ImportOptions {
  bool dry_run = false;              // check every row, write nothing to the list
  ImportGreeter* greeter = nullptr;  // null: no greeting goes out
  // Told after each group of rows is written: rows looked at so far and in
  // all. Returning false stops the import there; what was written stays.
  std::function<bool(int64_t done, int64_t rows)> progress;
};

struct ImportOutcome {
  int64_t added = 0;                         // rows written (or, on a dry run, that would be)
  int64_t duplicates = 0;                    // already on the list, or earlier in the file
  int64_t invalid = 0;                       // refused by the check of a new subscriber
  int64_t not_greeted = 0;                   // the greeting was not accepted
  bool stopped = false;                      // the progress callback asked to stop
  std::vector<std::string> ignored_columns;  // header names not taken
  std::string report_path;                   // FILE.skipped.csv, when rows were skipped
  std::string report_error;                  // why the report could not be written
};

// Imports the subscribers of the CSV file |path| into MailingList. The
// file's header row names the columns, in any letter case: E-Mail is
// required; Name, MailingAddress, BraSize, DateCreated and IPAddress are
// taken when present (the last two default to what Add writes: now and
// 127.0.0.1). Each row is checked as Add checks a typed entry; an address on
// the list or earlier in the file, in any letter case, is a duplicate. New
// rows are written in one transaction per 1,000. Every skipped row goes to
// |path| + ".skipped.csv" with its line and reason.
//
// A file that cannot be read, is not UTF-8, has no E-Mail column or ends
// inside a quoted field fails with a text that says so, and nobody is added.
Status ImportSubscribers(ListConnection& list, const std::string& path,
                         const ImportOptions& options, ImportOutcome* outcome);

// "4,980 subscribers added; 12 duplicates and 8 invalid rows skipped", with
// the lines that follow it: the greetings not sent, the columns ignored and
// where the skipped rows are listed.
std::string ImportSummary(const ImportOutcome& outcome, bool dry_run);

// 4980 as "4,980".
std::string GroupedNumber(int64_t number);

// What a skipped row is listed with in the report.
inline constexpr char kAlreadyOnList[] = "already on the list";
inline constexpr char kBraSizeNotNumber[] = "BraSize is not a whole number from -32768 to 32767";

}  // namespace verdanpost::mailinglist

#endif  // VERDANPOST_CONSOLE_MAILINGLIST_LIST_IMPORT_H_
