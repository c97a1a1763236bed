#include "console/dispatch/subscription.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "console/dispatch/control_characters.h"
#include "console/dispatch/send_recipe.h"
#include "console/mailinglist/list_database.h"
#include "console/mailinglist/subscriber_entry.h"

namespace verdanpost {

namespace {

using mailinglist::ListConnection;
using mailinglist::Recordset;
using mailinglist::Status;

constexpr int kAdditionTab = 2;
constexpr int kRemovalTab = 3;

// false with *err set to `prefix` and the driver's text when `status` failed,
// or the list's time limit when the database did not answer within it.
bool Check(const Status& status, const char* prefix, QString* err) {
  if (status.ok()) return true;
  *err = prefix + (status.IsTimedOut() ? ListDidNotAnswer(mailinglist::ListTimeLimit().count())
                                       : QString::fromStdString(status.message()));
  return false;
}

// Opens the list on `data_source` and checks that both tables have every
// column the console writes or compares: on SQLite an unknown quoted name
// would read as a text literal and match nothing (or everything) silently.
bool OpenList(const std::string& data_source, ListConnection* list, QString* err) {
  Status status = list->Open(data_source);
  if (status.ok()) status = mailinglist::CheckListColumns(*list);
  return Check(status, kListNotOpened, err);
}

// Opens `query` and tells whether it found a row.
bool Find(ListConnection& list, const database::Select& query, Recordset* rows, bool* found,
          QString* err) {
  Status status = rows->Open(query, list.get());
  int64_t count = 0;
  if (status.ok()) status = rows->RecordCount(&count);
  *found = count >= 1;
  return Check(status, kListNotRead, err);
}

// The text that refuses the Add page's `inputs`, or nullopt when they may
// go into a greeting and a row.
std::optional<QString> RefusedInput(const AddPageInputs& inputs) {
  // The same check as each row of an imported file passes.
  switch (mailinglist::SubscriberEntryFault(inputs.name.toStdString(), inputs.email.toStdString(),
                                            inputs.mailing_address.toStdString())) {
    case mailinglist::EntryFault::kNone:
      break;
    case mailinglist::EntryFault::kNameControl:
      return TypedTextRefused(kName);
    case mailinglist::EntryFault::kEmailControl:
      return TypedTextRefused(kEmailAddress);
    case mailinglist::EntryFault::kEmailNotOneAt:
    case mailinglist::EntryFault::kEmailBlank:
      return QString(kAddressNotValid);
    case mailinglist::EntryFault::kMailingAddressControl:
      return QString(kMailingAddressRefused);
  }
  return std::nullopt;
}

// Why the farewell of a removal may not go out, or nullptr when it may.
const char* NoFarewell(const RemovePageInputs& inputs) {
  if (!IsSendableAddress(inputs.email)) return kRemovedNoFarewellAddress;
  if (HoldsControlCharacter(inputs.name)) return kRemovedNoFarewellName;
  return nullptr;
}

}  // namespace

void Subscription::Add_Click() {
  QString err;
  view_.ShowMessage(Subscribe(view_.AddInputs(), &err) ? QString(kUserAdded) : err);
}

void Subscription::Delete_Click() {
  const RemovePageInputs inputs = view_.RemoveInputs();
  QString note;
  QString err;
  if (!Unsubscribe(inputs, &note, &err)) {
    view_.ShowMessage(err + note);
  } else if (const char* why = NoFarewell(inputs)) {
    // The removal stands, so that such a row can be cleaned up; its address
    // or the typed name would break the farewell's header lines.
    view_.ShowMessage(why + note);
  } else if (!SendFromTab(kRemovalTab, Recipient{inputs.name, inputs.email},
                          StoredMessage::kRemoval, &err)) {
    view_.ShowMessage(err + '\n' + kRemovedAnyway + note);
  } else {
    view_.ShowMessage(kUserRemoved + note);
  }
}

bool Subscription::Subscribe(const AddPageInputs& inputs, QString* err) {
  if (const std::optional<QString> refusal = RefusedInput(inputs)) {
    *err = *refusal;
    return false;
  }
  ListConnection list;
  if (!OpenList(data_source_, &list, err)) return false;
  // Held from the check to the commit, the greeting between them: a second
  // Add of the address waits here, then finds it taken. What goes
  // uncommitted is rolled back when the lock goes.
  database::WriteLock lock(list.get());
  if (!Check(mailinglist::LockMailingList(&lock), kListNotRead, err)) return false;

  Recordset query;
  bool taken = false;
  if (!Find(list, mailinglist::EmailExistsQuery(inputs.email.toStdString()), &query, &taken, err)) {
    return false;
  }
  if (taken) {
    *err = kAlreadySubscribed;
    return false;
  }
  if (!SendFromTab(kAdditionTab, Recipient{inputs.name, inputs.email}, StoredMessage::kAddition,
                   err)) {
    return false;
  }

  query.Close();
  Recordset mailing_list;
  Status status = mailinglist::AppendSubscriber(
      list,
      {inputs.name.toStdString(), inputs.email.toStdString(), inputs.mailing_address.toStdString()},
      &mailing_list);
  if (status.ok()) status = lock.Commit();
  if (!Check(status, kSubscriberNotAdded, err)) return false;
  mailing_list.Close();
  list.Close();
  return true;
}

bool Subscription::Unsubscribe(const RemovePageInputs& inputs, QString* note, QString* err) {
  ListConnection list;
  if (!OpenList(data_source_, &list, err)) return false;
  database::WriteLock lock(list.get());
  if (!Check(mailinglist::LockMailingList(&lock), kListNotRead, err)) return false;

  Recordset lookup;
  bool found = false;
  if (!Find(list, mailinglist::SubscriberLookupQuery(inputs.email.toStdString()), &lookup, &found,
            err)) {
    return false;
  }
  if (!found) {
    *err = kUserNotFound;
    return false;
  }

  // Every row of the address goes, each logged; all of them or none.
  Recordset log;
  int64_t removed = 0;
  if (!Check(mailinglist::LogRemovals(list, inputs.name.toStdString(), lookup, &log, &removed),
             kRemovalNotLogged, err)) {
    return false;
  }
  Status status = mailinglist::DeleteEveryRow(lookup);
  if (status.ok()) status = lock.Commit();
  if (!Check(status, kUserNotRemoved, err)) return false;
  if (removed > 1) *note = '\n' + RowsRemoved(removed);
  // The removal stands even when the trim after it fails: it is told too.
  QString trim_failure;
  if (!Check(mailinglist::TrimRemovalLog(log), kLogNotTrimmed, &trim_failure)) {
    *note += '\n' + trim_failure;
  }
  log.Close();
  lookup.Close();
  list.Close();
  return true;
}

bool Subscription::SendFromTab(int tab, const Recipient& to, StoredMessage which, QString* err) {
  QString why;
  std::unique_ptr<MailerClient> mailer;
  if (!SetUpMailer(mailers_, view_.CurrentSendInputs().setup.SMTPServer, false, &mailer, &why)) {
    *err = kMailerNotCreated + why;
    return false;
  }
  view_.OpenMessageTab(tab);

  const SendInputs inputs = view_.CurrentSendInputs();
  if (!CheckSendable(inputs, which, err)) return false;
  if (!SendStoredMessage(*mailer, inputs, to, &why)) {
    *err = NotSent(MessageName(which), why);
    return false;
  }
  MailerOutcome outcome;
  if (!ReadOutcome(*mailer, &outcome, &why)) {
    *err = kAnswerNotRead + why;
    return false;
  }
  if (!outcome.ok()) *err = FailureText(outcome);
  return outcome.ok();
}

}  // namespace verdanpost
