#include "console/mailbox/mailbox_session.h"

#include <openssl/crypto.h>

#include <ctime>

#include "console/mailbox/imap_mailbox.h"
#include "console/mailbox/list_mail.h"
#include "console/mailinglist/list_database.h"

namespace verdanpost::mailbox {

namespace {

CheckResult Failed(CheckStatus status, std::string error) {
  CheckResult result;
  result.status = status;
  result.error = std::move(error);
  return result;
}

}  // namespace

std::unique_ptr<MailboxReader> OpenImapMailbox(const MailboxSettings& settings,
                                               const std::string& password, std::string* err) {
  auto mailbox = std::make_unique<ImapMailbox>();
  if (!mailbox->Open(settings, password, err)) return nullptr;
  return mailbox;
}

CheckResult RunCheck(const std::string& settings_path, const std::string& data_source,
                     const std::string& list_address, const MailboxOpener& opener,
                     CheckProgress* progress) {
  MailboxSettings settings;
  std::string err;
  if (!ReadMailboxSettings(settings_path, &settings, &err)) {
    return Failed(kSettingsInvalid, "The mailbox settings are not usable: " + err);
  }
  std::string password;
  if (!MailboxPassword(settings, &password, &err)) {
    return Failed(kSettingsInvalid, "The mailbox settings are not usable: " + err);
  }
  std::unique_ptr<MailboxReader> reader = opener(settings, password, &err);
  OPENSSL_cleanse(password.data(), password.size());
  if (reader == nullptr) return Failed(kMailboxUnreachable, err);

  mailinglist::ListConnection list;
  database::Status status = list.Open(data_source);
  if (status.ok()) status = mailinglist::CheckListColumns(list);
  if (status.ok()) status = CreateListMailTable(list.get());
  if (!status.ok()) {
    return Failed(kListDatabaseFailed,
                  "The list database could not be opened: " + status.message());
  }
  CheckResult result;
  switch (
      CheckMailbox(*reader, list, settings.folder, list_address, progress, &result.summary, &err)) {
    case CheckFailure::kNone:
      break;
    case CheckFailure::kMailbox:
      result.status = kMailboxUnreachable;
      result.error = err;
      return result;
    case CheckFailure::kDatabase:
      result.status = kListDatabaseFailed;
      result.error = err;
      return result;
  }
  status = PlanRemovals(list, settings, std::time(nullptr), &result.removals);
  if (!status.ok()) {
    result.status = kListDatabaseFailed;
    result.error = "The list database could not be read: " + status.message();
    result.removals.clear();
    return result;
  }
  list.Close();
  return result;
}

RemovalResult RemoveAll(const std::string& data_source, const std::vector<Removal>& removals) {
  RemovalResult result;
  mailinglist::ListConnection list;
  database::Status status = list.Open(data_source);
  if (status.ok()) status = mailinglist::CheckListColumns(list);
  for (size_t i = 0; status.ok() && i < removals.size(); ++i) {
    std::string name;
    bool removed = false;
    status = RemoveSubscriber(list, removals[i], &name, &removed);
    if (!status.ok() || !removed) continue;
    ++result.removed;
    if (removals[i].farewell) result.farewells.push_back({name, removals[i].email});
  }
  if (!status.ok()) result.error = "A subscriber could not be removed: " + status.message();
  list.Close();
  return result;
}

}  // namespace verdanpost::mailbox
