#ifndef VERDANPOST_CONSOLE_DISPATCH_OPERATOR_TEXTS_H_
#define VERDANPOST_CONSOLE_DISPATCH_OPERATOR_TEXTS_H_

// Every text that subscribe, unsubscribe and the bulk send show the operator,
// in one place: the operator's scripts and our tests compare them exactly.
// The prefixes end in ": " and are followed by the underlying message.

#include <cstdint>

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace verdanpost {

// Success.
inline constexpr char kUserAdded[] = "User added and message sent :-)!";
inline constexpr char kUserRemoved[] = "User removed and message sent :-)!";
inline constexpr char kMessageSent[] = "Message sent :-)!";

// Refusals: nothing was sent or written.
inline constexpr char kTypedAddressNotValid[] =
    "The e-mail address is not valid: it needs one @ with a name before it and a domain after it.";
inline constexpr char kAlreadySubscribed[] = "A person with that e-mail address already exists!";
inline constexpr char kUserNotFound[] = "User not found!";
inline constexpr char kListEmpty[] = "The mailing list is empty: no message sent.";
inline constexpr char kBadBatchSize[] = "Recipients/Message must be a number from 1 to 32767.";
inline constexpr char kListTooLong[] =
    "The list has more than 32767 subscribers: turn on Limit Recipients/Message.";

// The line under a failed farewell: the removal stands.
inline constexpr char kRemovedAnyway[] = "User removed anyway";

// Typed texts that must not reach a message: Add refuses them, nothing is
// sent or written. `what` is "name" or "e-mail address".
inline QString TypedTextRefused(const char* what) {
  return QString(
             "The %1 contains a line break or another control character: nothing was sent "
             "or added.")
      .arg(QLatin1String(what));
}
inline constexpr char kMailingAddressRefused[] =
    "The mailing address contains a control character other than a line break or tab: nothing "
    "was sent or added.";
inline constexpr char kName[] = "name";
inline constexpr char kEmailAddress[] = "e-mail address";

// A removal whose farewell may not go out: the row is gone, nothing is sent.
inline constexpr char kRemovedNoFarewellAddress[] =
    "User removed, but no farewell was sent: the e-mail address is empty or contains a line "
    "break or another control character.";
inline constexpr char kRemovedNoFarewellName[] =
    "User removed, but no farewell was sent: the name contains a line break or another control "
    "character.";

// Failures of the list database.
inline constexpr char kListNotOpened[] = "The mailing list could not be opened: ";
inline constexpr char kListNotRead[] = "The mailing list could not be read: ";
inline constexpr char kSubscriberNotAdded[] =
    "Message sent, but the subscriber could not be added: ";
inline constexpr char kRemovalNotLogged[] = "The removal could not be logged, so the user stays: ";
// The log and the removal go together: neither stands.
inline constexpr char kUserNotRemoved[] = "The user could not be removed, so the user stays: ";
// Follow the report on a line of their own.
inline constexpr char kLogNotTrimmed[] = "The removal log could not be trimmed: ";
inline QString RowsRemoved(int64_t rows) {
  return QString("The address was on the list %1 times: each row was logged and removed.")
      .arg(QString::number(rows));
}
// What follows one of the prefixes above when the database did not answer
// within the list's time limit.
inline QString ListDidNotAnswer(int64_t seconds) {
  return QString("The mailing list did not answer within %1 seconds.").arg(seconds);
}
// A bulk send cancelled while the list was still being read: nothing sent.
inline constexpr char kListReadCancelled[] =
    "Sending cancelled while the mailing list was read: no message sent.";

// Failures of the mailer object (not of the message: see FailureText).
inline constexpr char kMailerNotCreated[] = "The mailer could not be created: ";
inline constexpr char kAnswerNotRead[] = "The mailer's answer could not be read: ";
inline constexpr char kNotHandedToMailer[] = "The message could not be handed to the mailer: ";
inline constexpr char kErrorCodeNotInteger[] = "ErrorCode: not an integer";

// What a greeting or farewell is called in "The greeting could not be sent: ".
inline constexpr char kGreeting[] = "greeting";
inline constexpr char kFarewell[] = "farewell";
inline constexpr char kListMessage[] = "list message";

// Sends refused before anything goes out.
inline constexpr char kFromEmpty[] = "The From e-mail address on the Setup page is empty.";
inline constexpr char kFromNotValid[] = "The From e-mail address on the Setup page is not valid.";
// `what` as above; `tab` the editor's tab that holds it ("Addition").
inline QString NoMessageFile(const char* what, const char* tab) {
  return QString(
             "No message file is chosen for the %1: choose a file on the Messages page (%2), or "
             "pick Use Text.")
      .arg(QLatin1String(what), QLatin1String(tab));
}

inline QString NotSent(const char* what, const QString& why) {
  return QString("The %1 could not be sent: %2").arg(QLatin1String(what), why);
}

// The mailer's own report of a failed send: its message, a blank and its
// code in parentheses, as in "Could not connect to server (6)".
inline QString FailureText(int32_t code, const QString& message) {
  return message + " (" + QString::number(code) + ')';
}

// The bulk send's report when some batches failed.
inline QString BatchesFailed(int failed, int sent, const QString& last_failure) {
  return QString("%1 of %2 messages could not be sent. Last error: %3")
      .arg(QString::number(failed), QString::number(sent), last_failure);
}

// What the bulk send's report adds when addresses were left out.
inline QString SubscribersSkipped(int64_t count) {
  if (count == 1) {
    return "1 subscriber was skipped: the address is empty or contains a line break or another "
           "control character.";
  }
  return QString(
             "%1 subscribers were skipped: their addresses are empty or contain line breaks "
             "or other control characters.")
      .arg(QString::number(count));
}

// A send that stopped after `sent` messages on `why`; when some of those
// failed, BatchesFailed follows on a line of its own.
inline QString SendingStopped(int sent, const QString& why) {
  if (sent == 1) return "Sending stopped after 1 message: " + why;
  return QString("Sending stopped after %1 messages: %2").arg(QString::number(sent), why);
}

// A bulk send that the operator stopped after `sent` of its `messages`.
inline QString SendingCancelled(int sent, int messages) {
  return QString("Sending cancelled after %1 of %2 messages.")
      .arg(QString::number(sent), QString::number(messages));
}

// Where the outcome for every subscriber of a bulk send is kept.
inline QString SendRecordNamed(const QString& path) {
  return QString("Each subscriber's outcome is recorded in \"%1\".").arg(path);
}
inline constexpr char kRecordNotCreated[] = "The send record could not be created: ";
inline constexpr char kRecordNotWritten[] = "The send record could not be written: ";

// The question under a bulk send's report when some subscribers missed it.
inline QString SendToUnreached(int64_t unreached) {
  return unreached == 1 ? QString("1 subscriber was not reached. Send the message to them now?")
                        : QString("%1 subscribers were not reached. Send the message to them now?")
                              .arg(QString::number(unreached));
}

// A message file sent with its own header ("Use file's message headers")
// that has none, or none with a sender.
inline constexpr char kMessageFileHasNoHeader[] = "Message does not have a header";
inline constexpr char kNoFromLine[] = "The message file has no From: line";
// The question before a bulk send goes out: the subject, and how many
// subscribers it reaches in how many messages, counted with thousands
// separators ("1,234").
inline QString ConfirmBulkSend(const QString& subject, int64_t subscribers, int64_t messages) {
  const QLocale english(QLocale::English, QLocale::UnitedStates);
  const auto count = [&english](int64_t n, const char* one, const char* many) {
    return english.toString(static_cast<qlonglong>(n)) + ' ' + QLatin1String(n == 1 ? one : many);
  };
  return QString("Send \"%1\" to %2 in %3?")
      .arg(subject, count(subscribers, "subscriber", "subscribers"),
           count(messages, "message", "messages"));
}

// The question at Send Message when an earlier send did not reach everyone:
// Yes sends to the rest now, No keeps it for later, Discard forgets it.
inline QString ResumeKeptSend(const QString& subject, const QDateTime& started, int64_t reached,
                              int64_t total, int64_t rest) {
  const QLocale english(QLocale::English, QLocale::UnitedStates);
  const auto count = [&english](int64_t n) { return english.toString(static_cast<qlonglong>(n)); };
  return QString(
             "A send of \"%1\" started on %2 reached %3 of %4 subscribers. Send to the %5 not "
             "reached now?")
      .arg(subject, started.toString("yyyy-MM-dd HH:mm"), count(reached), count(total),
           count(rest));
}

// A send that stopped because the server's day is full; what is left goes
// out when the operator resumes it.
inline QString DayLimitReached(const QString& limit, const QDateTime& from) {
  return QString(
             "Sending stopped for today: %1. The rest can go out from %2; Send Message then "
             "offers to send it.")
      .arg(limit, from.toString("yyyy-MM-dd HH:mm"));
}

// The record's words for a subscriber of a message that was on its way when
// the program ended.
inline constexpr char kInDoubt[] =
    "The program ended while this message was being sent: it may have arrived, so it is not sent "
    "again.";

// The hand-off file of a raw send.
inline QString MessageFileNotRead(const QString& path, const QString& why) {
  return QString("Cannot read the message file \"%1\": %2").arg(path, why);
}
inline QString FileNotWritten(const QString& path, const QString& why) {
  return QString("Cannot write the file \"%1\": %2").arg(path, why);
}
// Why a message is not handed to the mailer, or its hand-off file not
// written: `field` names the header line ("Subject", "Bcc").
inline QString HeaderLineBroken(const QString& field) {
  return QString("its \"%1:\" line would contain a line break or another control character")
      .arg(field);
}

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_OPERATOR_TEXTS_H_
