#ifndef VERDANPOST_CONSOLE_DISPATCH_BULK_SEND_H_
#define VERDANPOST_CONSOLE_DISPATCH_BULK_SEND_H_

#include <functional>

#include <QString>

#include "console/dispatch/send_recipe.h"

namespace verdanpost {

// Texts of the bulk send's report.
inline constexpr char kMessageSent[] = "Message sent :-)!";
inline constexpr char kListEmpty[] = "The mailing list is empty: no message sent.";
inline constexpr char kBadBatchSize[] = "Recipients/Message must be a number from 1 to 32767.";
inline constexpr char kListTooLong[] =
    "The list has more than 32767 subscribers: turn on Limit Recipients/Message.";

// Sends the definition in `inputs` to every address of MailingList on the
// data source `data_source`, in list order, one message per batch with the
// batch in Bcc and the list owner in To, through one mailer. Every batch is
// attempted whatever the mailer says of the one before. A batch size that
// could never end the walk, or a list too long to go out whole, is refused
// before anything is sent. Returns the one text to show the operator.
// `read_inputs` reads the window's controls; it is called once, after the
// list has been opened, and not at all when the list cannot be opened.
QString RunBulkSend(const std::function<SendInputs()>& read_inputs, const char* data_source);
QString RunBulkSend(const SendInputs& inputs, const char* data_source);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_BULK_SEND_H_
