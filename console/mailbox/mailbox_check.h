#ifndef VERDANPOST_CONSOLE_MAILBOX_MAILBOX_CHECK_H_
#define VERDANPOST_CONSOLE_MAILBOX_MAILBOX_CHECK_H_

#include <ctime>
#include <string>
#include <vector>

#include "console/mailbox/list_mail.h"
#include "console/mailbox/mailbox_reader.h"
#include "console/mailbox/mailbox_settings.h"
#include "console/mailinglist/list_database.h"

namespace verdanpost::mailbox {

// What one check read.
struct CheckSummary {
  int messages = 0;  // new messages read
  int hard = 0;      // findings of each kind
  int soft = 0;
  int complaints = 0;
  int unsubscribes = 0;
  int not_understood = 0;  // messages
  bool cancelled = false;  // stopped early by the operator
};

// "12 messages read: 3 hard bounces, 2 soft bounces, 1 complaint, 4
// unsubscribe requests, 2 not understood."
std::string SummaryText(const CheckSummary& summary);

// What a check tells while it reads, and how it learns that the operator
// wants it stopped. Called on the thread that reads.
class CheckProgress {
 public:
  virtual ~CheckProgress() = default;
  // Message `number` (from 1) of `messages` is being read.
  virtual void Reading(int number, int messages) = 0;
  // Asked between messages.
  virtual bool CancelRequested() = 0;
};

enum class CheckFailure { kNone, kMailbox, kDatabase };

// Reads every message of `reader` not yet flagged handled, stores what it
// finds in ListMail of `list` (`folder` and each message's UID with it) and
// flags the messages handled. An unsubscribe request counts only from an
// address on the list; a message with findings already in ListMail (its
// flag was lost) is flagged again without counting. Stops early, with what
// was read so far stored and flagged, when `progress` asks. On a failure,
// *err says what went wrong, and the findings read before it are stored.
CheckFailure CheckMailbox(MailboxReader& reader, mailinglist::ListConnection& list,
                          const std::string& folder, const std::string& list_address,
                          CheckProgress* progress, CheckSummary* summary, std::string* err);

// A subscriber to remove because of the mailbox's findings.
struct Removal {
  std::string email;  // as it stands in MailingList
  FindingKind why = FindingKind::kHard;
  bool farewell = false;  // asked to leave, never bounced or complained
};

// The subscribers that pending findings ask to remove, in the order of
// their first finding: a hard bounce, a complaint or an unsubscribe request,
// or `settings`' soft_bounce_limit soft bounces dated within its
// soft_bounce_days before `now`. Addresses compare without regard to case.
database::Status PlanRemovals(mailinglist::ListConnection& list, const MailboxSettings& settings,
                              std::time_t now, std::vector<Removal>* removals);

// Removes `removal` as Delete does: logs it in DeletedList under the
// reason, trims the log and deletes the row; then marks the address's
// findings handled. *name is the removed row's Name. A subscriber already
// gone is no failure (*removed false).
database::Status RemoveSubscriber(mailinglist::ListConnection& list, const Removal& removal,
                                  std::string* name, bool* removed);

// "Remove the 8 subscribers who bounced hard, complained or asked to leave?"
std::string RemoveQuestion(size_t subscribers);

}  // namespace verdanpost::mailbox

#endif  // VERDANPOST_CONSOLE_MAILBOX_MAILBOX_CHECK_H_
