#include "console/dispatch/list_addresses.h"

#include <optional>
#include <string>
#include <utility>

#include "console/dispatch/operator_texts.h"
#include "console/mailinglist/list_database.h"

namespace verdanpost {

namespace {

bool Check(const mailinglist::Status& status, const char* prefix, QString* err) {
  if (status.ok()) return true;
  if (status.IsCancelled()) {
    *err = kListReadCancelled;
  } else if (status.IsTimedOut()) {
    *err = prefix + ListDidNotAnswer(mailinglist::ListTimeLimit().count());
  } else {
    *err = prefix + QString::fromStdString(status.message());
  }
  return false;
}

}  // namespace

bool ReadListAddresses(const char* data_source, std::vector<QString>* out, QString* err,
                       const std::function<bool()>& cancelled) {
  mailinglist::ListConnection connection;
  if (!Check(connection.Open(data_source, cancelled), kListNotOpened, err)) return false;
  std::vector<std::optional<std::string>> rows;
  if (!Check(mailinglist::ReadSubscriberAddresses(connection, &rows), kListNotRead, err)) {
    return false;
  }
  connection.Close();
  std::vector<QString> addresses;
  addresses.reserve(rows.size());
  for (const std::optional<std::string>& row : rows) {
    addresses.push_back(row ? QString::fromStdString(*row) : QString());
  }

  *out = std::move(addresses);
  return true;
}

}  // namespace verdanpost
