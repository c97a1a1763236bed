#include "mailer/smtp/server_settings.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "mailer/smtp/address_list.h"
#include "mailer/smtp/ini_lines.h"
#include "mailer/smtp/server_address.h"
#include "mailer/smtp/settings_file.h"
#include "platform/ascii.h"
#include "platform/xdg_paths.h"

namespace verdanpost {
namespace {

// Everything one pass over the file finds.
struct Parse {
  const std::string* server_name;
  const std::string* path;
  ServerSettings* settings;
  // Of the keys whose values are secret, the most telling one in any
  // section, spelled as documented; empty when there is none.
  std::string_view secret_key;
  bool greeting_given = false;
  std::string error;  // the first problem in the server's section
};

// Keys whose values never appear in a text and make the file private, the
// most telling first.
constexpr std::string_view kSecretKeys[] = {"Password", "PasswordCommand", "User"};

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

constexpr int64_t kMostLimit = 1000000000;

// The keys of the provider's limits, spelled as documented.
struct LimitKey {
  std::string_view name;
  int64_t ServerLimits::*field;
};
constexpr LimitKey kLimitKeys[] = {
    {"RecipientsPerMessage", &ServerLimits::recipients_per_message},
    {"MessagesPerMinute", &ServerLimits::messages_per_minute},
    {"MessagesPerHour", &ServerLimits::messages_per_hour},
    {"RecipientsPerDay", &ServerLimits::recipients_per_day},
};

// A whole number from 1 to kMostLimit, digits only; 0 when `value` is not one.
int64_t LimitValue(std::string_view value) {
  if (value.empty()) return 0;
  int64_t number = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + (c - '0');
    if (number > kMostLimit) return 0;
  }
  return number;
}

void Take(Parse* parse, std::string_view section, std::string_view key, std::string_view value) {
  ServerSettings* s = parse->settings;
  std::string where = " in [" + std::string(section) + "] of " + *parse->path;
  if (EqualsIgnoreAsciiCase(key, "Security")) {
    if (EqualsIgnoreAsciiCase(value, "none")) {
      s->security = Security::kNone;
    } else if (EqualsIgnoreAsciiCase(value, "starttls")) {
      s->security = Security::kStartTls;
    } else if (EqualsIgnoreAsciiCase(value, "tls")) {
      s->security = Security::kTls;
    } else {
      parse->error = "Security is " + Quoted(value) + where + "; write none, starttls or tls";
    }
  } else if (EqualsIgnoreAsciiCase(key, "Greeting")) {
    parse->greeting_given = true;
    if (EqualsIgnoreAsciiCase(value, "HELO")) {
      s->greeting = Greeting::kHelo;
    } else if (EqualsIgnoreAsciiCase(value, "EHLO")) {
      s->greeting = Greeting::kEhlo;
    } else {
      parse->error = "Greeting is " + Quoted(value) + where + "; write HELO or EHLO";
    }
  } else if (EqualsIgnoreAsciiCase(key, "User")) {
    s->user = value;
  } else if (EqualsIgnoreAsciiCase(key, "Password")) {
    s->password = value;
    s->has_password = true;
  } else if (EqualsIgnoreAsciiCase(key, "PasswordCommand")) {
    s->password_command = value;
  } else if (EqualsIgnoreAsciiCase(key, "CAFile")) {
    s->ca_file = value;
  } else if (auto limit = std::find_if(
                 std::begin(kLimitKeys), std::end(kLimitKeys),
                 [key](const LimitKey& known) { return EqualsIgnoreAsciiCase(key, known.name); });
             limit != std::end(kLimitKeys)) {
    int64_t number = LimitValue(value);
    if (number == 0) {
      parse->error = std::string(limit->name) + " is " + Quoted(value) + where +
                     "; write a whole number from 1 to " + std::to_string(kMostLimit);
    }
    s->limits.*(limit->field) = number;
  } else {
    // A mistyped key would otherwise drop what it was meant to set, say
    // the login, and the mail would go out unauthenticated.
    parse->error = "unknown key " + Quoted(key) + where +
                   "; the keys are Security, User, Password, PasswordCommand, CAFile, Greeting, "
                   "RecipientsPerMessage, MessagesPerMinute, MessagesPerHour, RecipientsPerDay";
  }
}

void OnEntry(Parse* parse, std::string_view section, std::string_view key, std::string_view value) {
  for (std::string_view secret : kSecretKeys) {
    if (secret == parse->secret_key) break;
    if (EqualsIgnoreAsciiCase(key, secret)) {
      parse->secret_key = secret;
      break;
    }
  }
  if (parse->error.empty() && SectionNames(std::string(section), *parse->server_name)) {
    Take(parse, section, key, value);
  }
}

}  // namespace

std::string ServerSettingsPath() {
  if (const char* named = std::getenv("VERDANPOST_SERVERS"); named != nullptr && *named != '\0') {
    return named;
  }
  return XdgConfigHome() + "/verdanpost/servers.ini";
}

bool SectionNames(const std::string& section, const std::string& server_name) {
  ServerAddress a = ParseServerName(section);
  ServerAddress b = ParseServerName(server_name);
  return EqualsIgnoreAsciiCase(a.host, b.host) && a.port_written == b.port_written &&
         (!a.port_written || a.port == b.port);
}

Outcome ReadServerSettings(const std::string& path, const std::string& server_name,
                           ServerSettings* settings) {
  SettingsFileText file;
  std::string err;
  switch (ReadSettingsFile(path, &file, &err)) {
    case SettingsFileRead::kMissing: {
      // The defaults, as from an empty file, but from no file.
      Outcome outcome = ParseServerSettings({}, path, server_name, false, settings);
      settings->source.clear();
      return outcome;
    }
    case SettingsFileRead::kFailed:
      *settings = ServerSettings();
      return Outcome::InvalidSettings(err);
    case SettingsFileRead::kRead:
      break;
  }
  return ParseServerSettings(file.text, path, server_name, file.others_can_read, settings);
}

Outcome ParseServerSettings(std::string_view text, const std::string& path,
                            const std::string& server_name, bool others_can_read,
                            ServerSettings* settings) {
  *settings = ServerSettings();
  ServerAddress address = ParseServerName(server_name);
  if (address.port == "465") {
    settings->security = Security::kTls;
  } else if (address.port == "587") {
    settings->security = Security::kStartTls;
  }
  auto default_greeting = [settings] {
    settings->greeting = settings->security == Security::kNone ? Greeting::kHelo : Greeting::kEhlo;
  };

  Parse parse{&server_name, &path, settings, {}, false, {}};
  settings->source = path;
  int line = ReadIniLines(
      text, [&parse](std::string_view section, std::string_view key, std::string_view value) {
        OnEntry(&parse, section, key, value);
      });
  // First, as it matters whatever else is wrong.
  if (!parse.secret_key.empty() && others_can_read) {
    return Outcome::InvalidSettings(path + " holds a " + std::string(parse.secret_key) +
                                    " and can be read by other users; "
                                    "make it private with chmod 600 " +
                                    path);
  }
  if (line != 0) {
    return Outcome::InvalidSettings(path + " line " + std::to_string(line) +
                                    " is not a [section], a Key = Value line or a comment");
  }
  if (!parse.error.empty()) return Outcome::InvalidSettings(parse.error);
  if (settings->has_password && !settings->password_command.empty()) {
    return Outcome::InvalidSettings("[" + server_name + "] of " + path +
                                    " has both Password and PasswordCommand; keep one");
  }
  if (!settings->ca_file.empty() && settings->ca_file.front() != '/') {
    // A relative CAFile sits beside the settings file, wherever the mailer runs.
    size_t slash = path.rfind('/');
    if (slash != std::string::npos)
      settings->ca_file = path.substr(0, slash + 1) + settings->ca_file;
  }
  if (!parse.greeting_given) default_greeting();
  if (settings->greeting == Greeting::kHelo && settings->security == Security::kStartTls) {
    return Outcome::InvalidSettings("[" + server_name + "] of " + path +
                                    " has Greeting HELO with Security starttls; STARTTLS "
                                    "needs Greeting EHLO");
  }
  if (settings->greeting == Greeting::kHelo && !settings->user.empty()) {
    return Outcome::InvalidSettings("[" + server_name + "] of " + path +
                                    " has Greeting HELO with a User; signing in needs "
                                    "Greeting EHLO");
  }
  return Outcome::Fine();
}

Outcome ResolvePassword(const ServerSettings& settings, std::string* password,
                        std::chrono::milliseconds command_limit) {
  if (settings.has_password) {
    *password = settings.password;
    return Outcome::Fine();
  }
  if (settings.password_command.empty()) {
    return Outcome::CannotAuthenticate(
        "there is no password for the User; give Password or PasswordCommand in the server's "
        "section of " +
        (settings.source.empty() ? ServerSettingsPath() : settings.source));
  }
  return RunPasswordCommand(settings.password_command, command_limit, password);
}

}  // namespace verdanpost
