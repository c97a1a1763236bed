#ifndef VERDANPOST_CONSOLE_MAILBOX_MAILBOX_SETTINGS_H_
#define VERDANPOST_CONSOLE_MAILBOX_MAILBOX_SETTINGS_H_

#include <string>

namespace verdanpost::mailbox {

// The list's mailbox: the [Mailbox] section of the servers.ini file that the
// mailer reads, defaults filled in. A Password is kept only in memory.
struct MailboxSettings {
  std::string host;
  int port = 993;
  bool starttls = false;  // false: TLS from the first byte
  std::string user;
  std::string password;
  bool has_password = false;  // a Password key, even an empty one
  std::string password_command;
  std::string ca_file;  // empty: the system's trust store
  std::string folder = "INBOX";
  // A subscriber whose mail soft-bounced this many times within this many
  // days is removed like one that bounced hard.
  int soft_bounce_limit = 3;
  int soft_bounce_days = 30;
  std::string source;  // the settings file
};

// Reads [Mailbox] from the file at `path` (ServerSettingsPath()). false
// with *err, which names the file and what to change, when the file or the
// section is missing or wrong: an unknown key, a key given twice (also a
// value continued on a second line), no Host or User, both Password and
// PasswordCommand, or a file that others can read while it holds User,
// Password or PasswordCommand in any section. No text holds a value of
// User, Password or PasswordCommand.
bool ReadMailboxSettings(const std::string& path, MailboxSettings* settings, std::string* err);

// The password to sign in with: Password, else the first line that
// PasswordCommand prints. false with *err when there is none.
bool MailboxPassword(const MailboxSettings& settings, std::string* password, std::string* err);

}  // namespace verdanpost::mailbox

#endif  // VERDANPOST_CONSOLE_MAILBOX_MAILBOX_SETTINGS_H_
