#ifndef VERDANPOST_CONSOLE_MAILBOX_MAILBOX_SESSION_H_
#define VERDANPOST_CONSOLE_MAILBOX_MAILBOX_SESSION_H_

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "console/mailbox/mailbox_check.h"
#include "console/mailbox/mailbox_reader.h"
#include "console/mailbox/mailbox_settings.h"

namespace verdanpost::mailbox {

// How a check ended; also the exit status of `verdanpost-listdb
// check-mailbox`.
enum CheckStatus {
  kCheckRead = 0,
  kMailboxUnreachable = 1,  // not reached, not secure, login refused, dropped
  kSettingsInvalid = 2,
  kListDatabaseFailed = 3,
};

// Opens the mailbox that `settings` name, signed in with `password`;
// nullptr with *err when it cannot.
using MailboxOpener = std::function<std::unique_ptr<MailboxReader>(
    const MailboxSettings& settings, const std::string& password, std::string* err)>;

// The real one: ImapMailbox.
std::unique_ptr<MailboxReader> OpenImapMailbox(const MailboxSettings& settings,
                                               const std::string& password, std::string* err);

struct CheckResult {
  CheckStatus status = kCheckRead;
  std::string error;  // the text to show when status is not kCheckRead
  CheckSummary summary;
  std::vector<Removal> removals;  // what the findings, old and new, ask for
};

// One whole check: [Mailbox] from `settings_path`, the password, the
// mailbox, then the list behind `data_source` (ListMail created where it is
// missing), the reading and storing, and the plan of removals. Unsubscribe
// requests are messages to `list_address`.
CheckResult RunCheck(const std::string& settings_path, const std::string& data_source,
                     const std::string& list_address, const MailboxOpener& opener,
                     CheckProgress* progress);

// Who was removed, and who of them is to get a farewell.
struct RemovalResult {
  int removed = 0;
  struct Leaver {
    std::string name;
    std::string email;
  };
  std::vector<Leaver> farewells;
  std::string error;  // empty when every removal went through
};

// Removes each of `removals` from the list behind `data_source` as Delete
// does; stops at the first failure.
RemovalResult RemoveAll(const std::string& data_source, const std::vector<Removal>& removals);

}  // namespace verdanpost::mailbox

#endif  // VERDANPOST_CONSOLE_MAILBOX_MAILBOX_SESSION_H_
