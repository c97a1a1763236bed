#ifndef VERDANPOST_CONSOLE_MAILBOX_LIST_MAIL_H_
#define VERDANPOST_CONSOLE_MAILBOX_LIST_MAIL_H_

// ListMail: what the list's mailbox told about subscribers, one row per
// finding: a hard or soft bounce, a complaint or an unsubscribe request.
// A finding stays pending (DateHandled null) until a removal acts on it.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/database/connection.h"
#include "platform/database/status.h"

namespace verdanpost::mailbox {

inline constexpr char kListMail[] = "ListMail";

enum class FindingKind { kHard, kSoft, kComplaint, kUnsubscribe };

// The word stored in the Kind column: "hard", "soft", "complaint",
// "unsubscribe".
const char* KindName(FindingKind kind);

struct Finding {
  std::string address;
  FindingKind kind = FindingKind::kHard;
  std::string status_code;  // "5.1.1", a feedback type such as "abuse", or ""
  std::string status_text;  // the server's diagnostic, or ""
  std::string date;         // "2026-12-07 14:03:09", local time
  uint32_t uid = 0;         // the message's IMAP UID in `folder`
  std::string folder;
};

// Creates ListMail where it is missing, in the dialect of `connection`; other
// tables are not touched.
database::Status CreateListMailTable(database::Connection* connection);

// Appends `findings` to ListMail.
database::Status AppendFindings(database::Connection* connection,
                                const std::vector<Finding>& findings);

// The UIDs of `folder` that ListMail has a finding of.
database::Status ReadStoredUids(database::Connection* connection, const std::string& folder,
                                std::set<uint32_t>* uids);

// Every finding not yet acted on, oldest first.
database::Status ReadPendingFindings(database::Connection* connection,
                                     std::vector<Finding>* findings);

// Marks every pending finding of `address` (compared without regard to
// case) as handled on `date`.
database::Status MarkAddressHandled(database::Connection* connection, const std::string& address,
                                    const std::string& date);

}  // namespace verdanpost::mailbox

#endif  // VERDANPOST_CONSOLE_MAILBOX_LIST_MAIL_H_
