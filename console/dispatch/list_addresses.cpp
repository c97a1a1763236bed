#include "console/dispatch/list_addresses.h"

#include <string>
#include <utility>

#include "console/dispatch/operator_texts.h"
#include "console/mailinglist/list_database.h"

namespace verdanpost {

namespace {

bool Check(const mailinglist::Status& status, const char* prefix, QString* err) {
  if (status.ok()) return true;
  *err = prefix + QString::fromStdString(status.message());
  return false;
}

}  // namespace

bool ReadListAddresses(const char* data_source, std::vector<QString>* out, QString* err) {
  mailinglist::ListConnection connection;
  if (!Check(connection.Open(data_source), kListNotOpened, err)) return false;
  mailinglist::Recordset list;
  // Only the addresses are read, so only they are fetched.
  mailinglist::Status status =
      list.Open(database::Select{mailinglist::kMailingList, {"E-Mail"}, "", {}}, connection.get());
  std::vector<QString> addresses;
  std::string address;
  while (status.ok() && !list.eof()) {
    status = mailinglist::FieldText(list, "E-Mail", &address);
    if (!status.ok()) break;
    addresses.push_back(QString::fromStdString(address));
    status = list.MoveNext();
  }
  if (!Check(status, kListNotRead, err)) return false;
  list.Close();
  connection.Close();
  *out = std::move(addresses);
  return true;
}

}  // namespace verdanpost
