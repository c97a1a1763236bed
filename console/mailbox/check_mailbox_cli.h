#ifndef VERDANPOST_CONSOLE_MAILBOX_CHECK_MAILBOX_CLI_H_
#define VERDANPOST_CONSOLE_MAILBOX_CHECK_MAILBOX_CLI_H_

namespace verdanpost::mailbox {

// verdanpost-listdb check-mailbox [--remove] [DATA_SOURCE]: reads the
// list's mailbox into ListMail and prints the summary; --remove also removes
// the subscribers the findings ask for, with the farewell to those who
// asked to leave. The list address and the farewell are the console's
// stored Setup and Removal values. Returns the exit status: 0 read, 1
// mailbox unreachable or login refused, 2 settings invalid (or a wrong
// command line), 3 the list database failed.
int CheckMailboxCommandLine(int argc, char** argv);

}  // namespace verdanpost::mailbox

#endif  // VERDANPOST_CONSOLE_MAILBOX_CHECK_MAILBOX_CLI_H_
