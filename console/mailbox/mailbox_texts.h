#ifndef VERDANPOST_CONSOLE_MAILBOX_MAILBOX_TEXTS_H_
#define VERDANPOST_CONSOLE_MAILBOX_MAILBOX_TEXTS_H_

// The texts of Check Mailbox that the operator sees, besides the summary and
// the question of mailbox_check.h and the errors that name their cause.

namespace verdanpost::mailbox {

// Under the summary of a check the operator stopped.
inline constexpr char kCheckStopped[] =
    "Reading stopped early; the rest is read by the next check.";
// A farewell not sent to one who asked to leave: the removal stands.
inline constexpr char kFarewellNotSent[] = "No farewell to ";

}  // namespace verdanpost::mailbox

#endif  // VERDANPOST_CONSOLE_MAILBOX_MAILBOX_TEXTS_H_
