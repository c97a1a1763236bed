#ifndef VERDANPOST_CONSOLE_MAILINGLIST_LIST_DATABASE_H_
#define VERDANPOST_CONSOLE_MAILINGLIST_LIST_DATABASE_H_

// The list database: the subscribers in MailingList and the log of removals
// in DeletedList, reached through the data source "vestro".
//
// Each operation opens its own ListConnection, opens record sets on it, and
// closes every record set before the connection. Every call returns a
// Status whose message on failure is the driver's own text, or names what
// the tables lack (a column, a way to tell a row apart); report it once.
// CheckListColumns(list) right after list.Open() refuses a table without a
// column the console uses before anything is sent.
//
// Subscribe (Add_Click):
//   ListConnection list;             list.Open()
//   WriteLock lock(list.get());      LockMailingList(&lock)
//   Recordset query;                 query.Open(EmailExistsQuery(email), list.get())
//   query.RecordCount(&n)            n >= 1: the address is taken
//   ... send the greeting ...
//   query.Close(); Recordset rows;   AppendSubscriber(list, subscriber, &rows)
//   lock.Commit(); rows.Close(); list.Close()
//
// Unsubscribe (Delete_Click):
//   list.Open(); LockMailingList(&lock)
//   lookup.Open(SubscriberLookupQuery(email), list.get())
//   lookup.RecordCount(&n)           n < 1: not found
//   Recordset log;                   LogRemovals(list, deleter_name, lookup, &log, &n)
//   DeleteEveryRow(lookup); lock.Commit()   the rows have left MailingList, each logged
//   TrimRemovalLog(log); log.Close(); lookup.Close(); list.Close()
//   ... send the farewell ...
//
// Bulk send: ReadSubscriberAddresses(list, &addresses), list.Close(), then
// the messages go out from |addresses|.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/database/connection.h"
#include "platform/database/recordset.h"
#include "platform/database/status.h"
#include "platform/database/write_lock.h"

namespace verdanpost::mailinglist {

using database::Recordset;
using database::Status;

inline constexpr char kDataSourceName[] = "vestro";
inline constexpr char kMailingList[] = "MailingList";
inline constexpr char kDeletedList[] = "DeletedList";
// The origin named in every row the console writes.
inline constexpr char kConsoleIPAddress[] = "127.0.0.1";
// DeletedList keeps this many of the most recent removals.
inline constexpr int64_t kDeletedListTrimThreshold = 50;

// How long a list operation waits for the database to log in and to answer
// each statement: 30 seconds, unless a test shortened it. Past it the
// operation gives Status::TimedOut and leaves nothing half-done.
std::chrono::seconds ListTimeLimit();
void SetListTimeLimit(std::chrono::seconds limit);

// The connection of one subscribe, unsubscribe or bulk send, with the
// ListTimeLimit().
class ListConnection {
 public:
  ListConnection();
  // Tests may name another data source; the console always uses "vestro".
  // |cancelled|, when given, is asked while the database is waited for, and
  // true ends the wait (Status::Cancelled).
  Status Open(const std::string& data_source = kDataSourceName,
              std::function<bool()> cancelled = nullptr);
  Status Close();
  database::Connection* get() { return &connection_; }

 private:
  database::Connection connection_;
};

// MailingList's E-Mail of the rows whose E-Mail is |email|, compared whole
// but without regard to letter case (rows keep the case they were typed in).
database::Select EmailExistsQuery(const std::string& email);
// E-Mail, Name, MailingAddress, IPAddress and DateCreated of the rows whose
// E-Mail is |email|, compared as EmailExistsQuery does: the rows to remove.
database::Select SubscriberLookupQuery(const std::string& email);

// How long an Add or Delete waits for another one's lock on the list.
inline constexpr int kListLockWaitSeconds = 30;

// Takes the list's write lock (|lock| made on the list's connection) for the
// check and the write of an Add or a Delete, so that two of them cannot both find an address free
// (or both remove it): the second waits until the first commits or rolls back, then sees what it
// wrote. Readers, the bulk send's among them, go on.
Status LockMailingList(database::WriteLock* lock);

// The current row's value of column |name| as text, null as "".
Status FieldText(const Recordset& records, std::string_view name, std::string* text);

// The current local date and time, as "2026-12-07 14:03:09".
std::string CurrentDateTimeText();

struct NewSubscriber {
  std::string name;
  std::string email;
  std::string mailing_address;
};

// Opens |mailing_list| on MailingList and appends |subscriber| with BraSize
// 0, DateCreated now and IPAddress kConsoleIPAddress. The caller closes
// |mailing_list| before the connection.
Status AppendSubscriber(ListConnection& list, const NewSubscriber& subscriber,
                        Recordset* mailing_list);

// Opens |log| on DeletedList (unless it is open) and appends the removal of
// |lookup|'s current row to it under |deleter_name|. |lookup| stays on its row for the delete
// that follows. Once this succeeded the removal is logged, whatever the trim
// that follows says. The caller closes |log| before the connection.
Status AppendRemoval(ListConnection& list, const std::string& deleter_name, const Recordset& lookup,
                     Recordset* log);

// Appends the removal of every row of |lookup| (a SubscriberLookupQuery)
// to |log| (opened on the first) under |deleter_name|; *logged counts them.
// Run it and DeleteEveryRow under the list's lock, so that the log and the
// removals stand or go together.
Status LogRemovals(ListConnection& list, const std::string& deleter_name, Recordset& lookup,
                   Recordset* log, int64_t* logged);

// Deletes every row of |rows| from its table.
Status DeleteEveryRow(Recordset& rows);

// Trims the removal log that AppendRemoval wrote to through |log| back to
// its kDeletedListTrimThreshold most recent rows: the oldest by DateDeleted
// go first (a row without one counts as oldest), rows of one date in the
// order of their row key; the row just appended is never among them. A trim
// that fails leaves the log longer, and the next removal trims again.
Status TrimRemovalLog(Recordset& log);

// Reads the E-Mail of every row of MailingList into *addresses, in list
// order (the order of the table's row key), a null address as nullopt. The
// read goes forward through the table once and compares no key, so no row
// is passed over or read twice whatever the table's keys hold (nulls, a
// floating-point key, no key at all). Its statement is closed again before
// this returns, so no read is held open on the database while messages go
// out: on SQLite a reader blocks every writer. Every address is held in
// memory, some 70 bytes each; while it reads, the SQLite driver holds the
// result too (100,000 addresses peak at about 13 MiB). A table without an
// E-Mail column is refused by name ("The table MailingList has no column
// E-Mail."); on failure *addresses is empty.
Status ReadSubscriberAddresses(ListConnection& list,
                               std::vector<std::optional<std::string>>* addresses);

// Ok when MailingList and DeletedList have every column the console reads
// or writes; otherwise names the first one missing, for example "The table
// MailingList has no column E-Mail." (on SQLite an unknown double-quoted
// name reads as a text literal, so a statement would not fail on it). Each
// operation above also refuses a missing column it needs, by name, before
// it writes anything; this tells it before the operation starts.
Status CheckListColumns(ListConnection& list);

}  // namespace verdanpost::mailinglist

#endif  // VERDANPOST_CONSOLE_MAILINGLIST_LIST_DATABASE_H_
