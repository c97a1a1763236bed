#ifndef VERDANPOST_CONSOLE_DISPATCH_BULK_SEND_H_
#define VERDANPOST_CONSOLE_DISPATCH_BULK_SEND_H_

#include <functional>

#include <QString>

#include "console/dispatch/mailer_client.h"
#include "console/dispatch/operator_texts.h"
#include "console/window/console_operations.h"

namespace verdanpost {

// Sends the definition that `read_inputs` gives to every address of
// MailingList on the data source `data_source`, in list order, one message
// per batch with the batch in Bcc and the list owner in To, through one
// mailer made by `mailers`. The addresses are all read, and the read closed,
// before the first message goes out; an address that is empty or holds a
// line break or another control character is left out. Every batch is
// attempted whatever the mailer says of the one before; a mailer call or a
// file that fails stops the send. A batch size that could never end the
// walk, or a list too long to go out whole, is refused before anything is
// sent. true when every batch went out; else false with *err the text to
// show the operator. *note, when given, receives what the report adds on a
// line of its own whatever the end (how many addresses were left out), empty
// when nothing. `read_inputs` reads the window's controls; it is called
// once, after the list has been read, and not at all when it could not be.
bool BulkSend(const std::function<SendInputs()>& read_inputs, MailerFactory& mailers,
              const char* data_source, QString* err, QString* note = nullptr);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_BULK_SEND_H_
