#include "console/mailinglist/list_database.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/database/statement.h"

namespace verdanpost::mailinglist {

using database::Value;

namespace {

// The columns a new subscriber's row and a removal's log row are written to,
// in the order their values are given; CheckListColumns asks for the same.
const std::vector<std::string>& SubscriberColumns() {
  static const std::vector<std::string> columns = {"Name",    "E-Mail",      "MailingAddress",
                                                   "BraSize", "DateCreated", "IPAddress"};
  return columns;
}

const std::vector<std::string>& RemovalColumns() {
  static const std::vector<std::string> columns = {"DeleterName",  "Name",        "E-Mail",
                                                   "DateCreated",  "DateDeleted", "IPCreatedFrom",
                                                   "IPDeletedFrom"};
  return columns;
}

}  // namespace

namespace {

std::atomic<int64_t> list_time_limit_seconds{30};

}  // namespace

std::chrono::seconds ListTimeLimit() {
  return std::chrono::seconds(list_time_limit_seconds.load());
}

void SetListTimeLimit(std::chrono::seconds limit) { list_time_limit_seconds = limit.count(); }

ListConnection::ListConnection() { connection_.set_time_limit(ListTimeLimit()); }

Status ListConnection::Open(const std::string& data_source, std::function<bool()> cancelled) {
  if (cancelled) connection_.set_cancel_check(std::move(cancelled));
  return connection_.Open(data_source);
}

Status ListConnection::Close() { return connection_.Close(); }

database::Select EmailExistsQuery(const std::string& email) {
  return database::Select{kMailingList, {"E-Mail"}, "E-Mail", Value::Text(email), true};
}

database::Select SubscriberLookupQuery(const std::string& email) {
  return database::Select{kMailingList,
                          {"E-Mail", "Name", "MailingAddress", "IPAddress", "DateCreated"},
                          "E-Mail",
                          Value::Text(email),
                          true};
}

Status LockMailingList(database::WriteLock* lock) {
  return lock->Begin(kMailingList, kListLockWaitSeconds);
}

Status FieldText(const Recordset& records, std::string_view name, std::string* text) {
  std::optional<std::string> value;
  Status status = records.Fields(name, &value);
  if (status.ok()) *text = value.value_or(std::string());
  return status;
}

std::string CurrentDateTimeText() {
  // The system clock, not std::time(): glibc serves that from a coarse clock
  // that can still read the previous second after a send has ended, which
  // would date a subscriber before the greeting that made them one.
  std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

Status AppendSubscriber(ListConnection& list, const NewSubscriber& subscriber,
                        Recordset* mailing_list) {
  if (Status status = mailing_list->Open(kMailingList, list.get()); !status.ok()) return status;
  return mailing_list->AddNew(SubscriberColumns(),
                              {Value::Text(subscriber.name), Value::Text(subscriber.email),
                               Value::Text(subscriber.mailing_address), Value::Integer(0),
                               Value::Text(CurrentDateTimeText()), Value::Text(kConsoleIPAddress)});
}

Status AppendRemoval(ListConnection& list, const std::string& deleter_name, const Recordset& lookup,
                     Recordset* log) {
  std::string name, email, date_created, ip_address;
  Status status = FieldText(lookup, "Name", &name);
  if (status.ok()) status = FieldText(lookup, "E-Mail", &email);
  if (status.ok()) status = FieldText(lookup, "DateCreated", &date_created);
  if (status.ok()) status = FieldText(lookup, "IPAddress", &ip_address);
  if (status.ok() && !log->is_open()) status = log->Open(kDeletedList, list.get());
  if (!status.ok()) return status;
  return log->AddNew(RemovalColumns(),
                     {Value::Text(deleter_name), Value::Text(name), Value::Text(email),
                      Value::Text(date_created), Value::Text(CurrentDateTimeText()),
                      Value::Text(ip_address), Value::Text(kConsoleIPAddress)});
}

Status LogRemovals(ListConnection& list, const std::string& deleter_name, Recordset& lookup,
                   Recordset* log, int64_t* logged) {
  *logged = 0;
  for (Status status = lookup.MoveFirst(); !lookup.eof(); status = lookup.MoveNext()) {
    if (status.ok()) status = AppendRemoval(list, deleter_name, lookup, log);
    if (!status.ok()) return status;
    ++*logged;
  }
  return Status::OK();
}

Status DeleteEveryRow(Recordset& rows) {
  for (Status status = rows.MoveFirst(); !rows.eof(); status = rows.MoveNext()) {
    if (status.ok()) status = rows.Delete();
    if (!status.ok()) return status;
  }
  return Status::OK();
}

Status TrimRemovalLog(Recordset& log) {
  int64_t count = 0;
  Status status = log.RecordCount(&count);
  if (!status.ok() || count <= kDeletedListTrimThreshold) return status;
  // By the removal's date, not by the table's key: a key need not grow
  // (PostgreSQL's row identifier does not after a VACUUM). The row just
  // appended is the current one, which is never trimmed.
  return log.DeleteOldest("DateDeleted", count - kDeletedListTrimThreshold);
}

Status ReadSubscriberAddresses(ListConnection& list,
                               std::vector<std::optional<std::string>>* addresses) {
  addresses->clear();
  database::Connection& connection = *list.get();
  const database::TableInfo* table = nullptr;
  Status status = connection.DescribeTable(kMailingList, &table);
  if (status.ok()) status = connection.CheckColumns(*table, {"E-Mail"});
  if (!status.ok()) return status;
  // A forward-only read of one column: nothing is compared, so no row can
  // be passed over, whatever the table's keys hold.
  database::Statement statement;
  status = statement.Execute(connection,
                             "SELECT " + connection.Quote("E-Mail") + " FROM " +
                                 connection.Quote(kMailingList) + " ORDER BY " +
                                 table->key.OrderList(false),
                             {});
  for (bool has_row = true; status.ok();) {
    status = statement.Fetch(&has_row);
    if (!status.ok() || !has_row) break;
    status = statement.GetText(1, &addresses->emplace_back());
  }
  if (!status.ok()) addresses->clear();
  return status;
}

Status CheckListColumns(ListConnection& list) {
  const std::pair<const char*, const std::vector<std::string>*> used[] = {
      {kMailingList, &SubscriberColumns()},
      {kDeletedList, &RemovalColumns()},
  };
  for (const auto& [name, columns] : used) {
    const database::TableInfo* table = nullptr;
    Status status = list.get()->DescribeTable(name, &table);
    if (status.ok()) status = list.get()->CheckColumns(*table, *columns);
    if (!status.ok()) return status;
  }
  return Status::OK();
}

}  // namespace verdanpost::mailinglist
