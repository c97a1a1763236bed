#include "console/mailinglist/list_database.h"

#include <ctime>
#include <optional>
#include <vector>

namespace verdanpost::mailinglist {

using database::Value;

Status ListConnection::Open(const std::string& data_source) {
  return connection_.Open(data_source);
}

Status ListConnection::Close() { return connection_.Close(); }

database::Select EmailExistsQuery(const std::string& email) {
  return database::Select{kMailingList, {"E-Mail"}, "E-Mail", Value::Text(email)};
}

database::Select SubscriberLookupQuery(const std::string& email) {
  return database::Select{kMailingList,
                          {"E-Mail", "Name", "MailingAddress", "IPAddress", "DateCreated"},
                          "E-Mail",
                          Value::Text(email)};
}

Status FieldText(const Recordset& records, std::string_view name, std::string* text) {
  std::optional<std::string> value;
  Status status = records.Fields(name, &value);
  if (status.ok()) *text = value.value_or(std::string());
  return status;
}

std::string CurrentDateTimeText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

Status AppendSubscriber(ListConnection& list, const NewSubscriber& subscriber,
                        Recordset* mailing_list) {
  if (Status status = mailing_list->Open(kMailingList, list.get()); !status.ok()) return status;
  return mailing_list->AddNew(
      {"Name", "E-Mail", "MailingAddress", "BraSize", "DateCreated", "IPAddress"},
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
  if (status.ok()) status = log->Open(kDeletedList, list.get());
  if (!status.ok()) return status;
  return log->AddNew({"DeleterName", "Name", "E-Mail", "DateCreated", "DateDeleted",
                      "IPCreatedFrom", "IPDeletedFrom"},
                     {Value::Text(deleter_name), Value::Text(name), Value::Text(email),
                      Value::Text(date_created), Value::Text(CurrentDateTimeText()),
                      Value::Text(ip_address), Value::Text(kConsoleIPAddress)});
}

Status TrimRemovalLog(Recordset& log) {
  int64_t count = 0;
  Status status = log.RecordCount(&count);
  if (!status.ok() || count <= kDeletedListTrimThreshold) return status;
  // |log| holds the table's rows in the order of its key (insertion order
  // for an increasing key) and the row just appended last, so the oldest
  // stand first and that row is never among them, whatever its key.
  status = log.MoveFirst();
  for (int64_t i = kDeletedListTrimThreshold; status.ok() && i < count && !log.eof(); ++i) {
    status = log.Delete();
    if (status.ok()) status = log.MoveNext();
  }
  return status;
}

Status LogRemoval(ListConnection& list, const std::string& deleter_name, const Recordset& lookup,
                  Status* trim) {
  Recordset log;
  Status status = AppendRemoval(list, deleter_name, lookup, &log);
  Status trimmed = status.ok() ? TrimRemovalLog(log) : Status::OK();
  log.Close();
  if (trim == nullptr) return status.ok() ? trimmed : status;
  *trim = trimmed;
  return status;
}

Status OpenMailingList(ListConnection& list, Recordset* mailing_list) {
  return mailing_list->Open(kMailingList, list.get());
}

}  // namespace verdanpost::mailinglist
