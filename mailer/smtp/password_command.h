#ifndef VERDANPOST_MAILER_SMTP_PASSWORD_COMMAND_H_
#define VERDANPOST_MAILER_SMTP_PASSWORD_COMMAND_H_

#include <chrono>
#include <string>

#include "mailer/smtp/outcome.h"

namespace verdanpost {

// How long a password command may take before it is ended.
inline constexpr std::chrono::milliseconds kPasswordCommandLimit = std::chrono::seconds(60);

// Runs `command` with /bin/sh and sets `*password` to the first line it
// prints. The command runs in a process group of its own, reading nothing,
// and its standard error goes nowhere: it may hold secrets, so only the exit
// status is ever told. After `limit` the whole group is killed. Code 57 when
// the command cannot start, fails, prints nothing or takes too long; no
// text ever holds the command or what it printed.
Outcome RunPasswordCommand(const std::string& command, std::chrono::milliseconds limit,
                           std::string* password);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_PASSWORD_COMMAND_H_
