#ifndef VERDANPOST_MAILER_SMTP_SERVER_SETTINGS_H_
#define VERDANPOST_MAILER_SMTP_SERVER_SETTINGS_H_

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "mailer/smtp/outcome.h"
#include "mailer/smtp/password_command.h"

namespace verdanpost {

// How the connection to a server is protected.
enum class Security {
  kNone,      // plain text throughout
  kStartTls,  // plain greeting and EHLO, then STARTTLS
  kTls,       // TLS from the first byte
};

// The command that opens the dialogue.
enum class Greeting { kHelo, kEhlo };

// What the provider allows through one server, from the server's section.
// The mailer keeps to none of them itself: the console's bulk send paces
// itself by them.
struct ServerLimits {
  int64_t recipients_per_message = 0;  // 0: no limit
  int64_t messages_per_minute = 0;
  int64_t messages_per_hour = 0;
  int64_t recipients_per_day = 0;
};

// What the operator's settings file says about one server, defaults filled
// in. With no file and no section, a server is spoken to as it always was:
// no TLS, HELO, no authentication (except on the submission ports).
struct ServerSettings {
  Security security = Security::kNone;
  Greeting greeting = Greeting::kHelo;
  std::string user;  // empty: no authentication
  std::string password;
  bool has_password = false;  // a Password key, even an empty one
  std::string password_command;
  std::string ca_file;  // empty: the system's trust store
  ServerLimits limits;
  // The settings file, or empty when there was none.
  std::string source;
};

// The settings file: $VERDANPOST_SERVERS, else
// ${XDG_CONFIG_HOME:-~/.config}/verdanpost/servers.ini.
std::string ServerSettingsPath();

// Reads the settings for `server_name` (as the operator typed it) from the
// file at `path`. A missing file or section gives the defaults for the
// server's port; any other problem gives code 58 and says what to change.
// No text ever holds a value of User, Password or PasswordCommand. Runs no
// command and changes nothing, so it may be called just to learn the limits.
Outcome ReadServerSettings(const std::string& path, const std::string& server_name,
                           ServerSettings* settings);

// The same for the file's bytes `text`, read from `path`. A file that holds
// User, Password or PasswordCommand, in any section, is refused when
// `others_can_read` it.
Outcome ParseServerSettings(std::string_view text, const std::string& path,
                            const std::string& server_name, bool others_can_read,
                            ServerSettings* settings);

// Whether section name `section` stands for `server_name`: the host names
// equal without regard to case, the port parts exactly as written.
bool SectionNames(const std::string& section, const std::string& server_name);

// The password for a login: the Password key, else the first line that the
// PasswordCommand prints (see RunPasswordCommand; `command_limit` is
// shortened only by tests). Code 57 when there is neither, or the command
// fails.
Outcome ResolvePassword(const ServerSettings& settings, std::string* password,
                        std::chrono::milliseconds command_limit = kPasswordCommandLimit);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_SERVER_SETTINGS_H_
