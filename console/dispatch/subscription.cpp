#include "console/dispatch/subscription.h"

#include <cstdint>
#include <memory>

#include "console/dispatch/send_recipe.h"
#include "console/mailinglist/list_database.h"
#include "console/window/console_window.h"
#include "console/window/dialogs.h"

namespace verdanpost {

namespace {

using mailinglist::ListConnection;
using mailinglist::Recordset;
using mailinglist::Status;

constexpr int kAdditionTab = 2;
constexpr int kRemovalTab = 3;

QString Driver(const Status& status) { return QString::fromStdString(status.message()); }

QString ListFailure(const Status& status) {
  return "The mailing list could not be read: " + Driver(status);
}

// Opens `query` and tells whether it found a row.
Status Find(ListConnection& list, const database::Select& query, Recordset* rows, bool* found) {
  Status status = rows->Open(query, list.get());
  int64_t count = 0;
  if (status.ok()) status = rows->RecordCount(&count);
  *found = count >= 1;
  return status;
}

}  // namespace

void Subscription::Add_Click() { window_.dialogs().ShowMessage(Add()); }

void Subscription::Delete_Click() { window_.dialogs().ShowMessage(Delete()); }

QString Subscription::Add() {
  ListConnection list;
  Status status = list.Open();
  if (!status.ok()) return "The mailing list could not be opened: " + Driver(status);
  const QString name = window_.Text("AddName");
  const QString email = window_.Text("AddEMail");
  const QString mailing_address = window_.Text("AddMailingAddress");

  Recordset query;
  bool taken = false;
  status = Find(list, mailinglist::EmailExistsQuery(email.toStdString()), &query, &taken);
  if (!status.ok()) return ListFailure(status);
  if (taken) return kAlreadySubscribed;

  const QString failure = SendFromTab(kAdditionTab, name, email, "greeting");
  if (!failure.isEmpty()) return failure;

  query.Close();
  Recordset mailing_list;
  status = mailinglist::AppendSubscriber(
      list, {name.toStdString(), email.toStdString(), mailing_address.toStdString()},
      &mailing_list);
  if (!status.ok()) return "Message sent, but the subscriber could not be added: " + Driver(status);
  mailing_list.Close();
  list.Close();
  return kUserAdded;
}

QString Subscription::Delete() {
  ListConnection list;
  Status status = list.Open();
  if (!status.ok()) return "The mailing list could not be opened: " + Driver(status);
  const QString name = window_.Text("DeleteName");
  const QString email = window_.Text("DeleteEmail");

  Recordset lookup;
  bool found = false;
  status = Find(list, mailinglist::SubscriberLookupQuery(email.toStdString()), &lookup, &found);
  if (!status.ok()) return ListFailure(status);
  if (!found) return kUserNotFound;

  // A log row that went in stands for the removal, even when the trim after
  // it failed: the removal goes ahead, and the trim's failure is told too.
  Status trim;
  status = mailinglist::LogRemoval(list, name.toStdString(), lookup, &trim);
  if (!status.ok()) return "The removal could not be logged, so the user stays: " + Driver(status);
  const QString trim_note =
      trim.ok() ? QString() : "\nThe removal log could not be trimmed: " + Driver(trim);
  status = lookup.Delete();
  if (!status.ok()) {
    return "The removal was logged, but the user could not be removed: " + Driver(status) +
           trim_note;
  }
  lookup.Close();
  list.Close();

  const QString failure = SendFromTab(kRemovalTab, name, email, "farewell");
  if (!failure.isEmpty()) return failure + '\n' + kRemovedAnyway + trim_note;
  return kUserRemoved + trim_note;
}

QString Subscription::SendFromTab(int tab, const QString& name, const QString& email,
                                  const char* what) {
  QString err;
  std::unique_ptr<MailerClient> mailer = SetUpMailer(window_.Text("SMTPServer"), false, &err);
  if (mailer == nullptr) return "The mailer could not be created: " + err;

  // Selecting the tab may already have run the click handling; the second
  // run then does nothing.
  window_.SelectMessageTab(tab);
  window_.MessagesTabStrip_Click();

  const SendInputs inputs{window_.EditorDefinition(), window_.SetupValues()};
  if (!SendStoredMessage(*mailer, inputs, Recipient{name, email}, &err)) {
    return QString("The %1 could not be sent: %2").arg(QLatin1String(what), err);
  }
  MailerOutcome outcome;
  if (!ReadOutcome(*mailer, &outcome, &err)) {
    return "The mailer's answer could not be read: " + err;
  }
  return outcome.ok() ? QString() : FailureText(outcome);
}

}  // namespace verdanpost
