#include "console/mailbox/mailbox_settings.h"

#include <charconv>
#include <set>

#include "mailer/smtp/address_list.h"
#include "mailer/smtp/ini_lines.h"
#include "mailer/smtp/server_address.h"
#include "mailer/smtp/server_settings.h"
#include "mailer/smtp/settings_file.h"
#include "platform/ascii.h"

namespace verdanpost::mailbox {
namespace {

constexpr char kSection[] = "Mailbox";
constexpr char kKeys[] =
    "Host, User, Password, PasswordCommand, CAFile, Folder, Security, SoftBounceLimit, "
    "SoftBounceDays";

struct Parse {
  MailboxSettings* settings = nullptr;
  std::string where;  // " in [Mailbox] of PATH"
  bool section_found = false;
  bool holds_secret = false;  // User, Password or PasswordCommand in any section
  std::string security;
  std::set<std::string> seen;  // the keys given, lower case
  std::string error;
};

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// A whole number from 1 to 3650, or false.
bool ParseCount(std::string_view value, int* number) {
  const char* end = value.data() + value.size();
  auto [rest, error] = std::from_chars(value.data(), end, *number);
  return error == std::errc() && rest == end && *number >= 1 && *number <= 3650;
}

void Take(Parse* parse, std::string_view key, std::string_view value) {
  MailboxSettings* s = parse->settings;
  if (!parse->seen.insert(Lower(key)).second) {
    // Also what a value continued on an indented line looks like.
    parse->error = std::string(key) + " is given twice" + parse->where + "; keep one line";
    return;
  }
  if (EqualsIgnoreAsciiCase(key, "Host")) {
    s->host = value;
  } else if (EqualsIgnoreAsciiCase(key, "User")) {
    s->user = value;
  } else if (EqualsIgnoreAsciiCase(key, "Password")) {
    s->password = value;
    s->has_password = true;
  } else if (EqualsIgnoreAsciiCase(key, "PasswordCommand")) {
    s->password_command = value;
  } else if (EqualsIgnoreAsciiCase(key, "CAFile")) {
    s->ca_file = value;
  } else if (EqualsIgnoreAsciiCase(key, "Folder")) {
    s->folder = value;
  } else if (EqualsIgnoreAsciiCase(key, "Security")) {
    parse->security = value;
  } else if (EqualsIgnoreAsciiCase(key, "SoftBounceLimit")) {
    if (!ParseCount(value, &s->soft_bounce_limit)) {
      parse->error = "SoftBounceLimit is \"" + std::string(value) + "\"" + parse->where +
                     "; write a whole number from 1 to 3650";
    }
  } else if (EqualsIgnoreAsciiCase(key, "SoftBounceDays")) {
    if (!ParseCount(value, &s->soft_bounce_days)) {
      parse->error = "SoftBounceDays is \"" + std::string(value) + "\"" + parse->where +
                     "; write a whole number from 1 to 3650";
    }
  } else {
    parse->error =
        "unknown key \"" + std::string(key) + "\"" + parse->where + "; the keys are " + kKeys;
  }
}

void OnEntry(Parse* parse, std::string_view section, std::string_view name,
             std::string_view value) {
  if (IsSecretSettingsKey(name)) parse->holds_secret = true;
  if (!EqualsIgnoreAsciiCase(TrimBlanks(section), kSection)) return;
  parse->section_found = true;
  if (parse->error.empty()) Take(parse, name, value);
}

// Host, port and security from what the section said.
bool Finish(Parse* parse, std::string* err) {
  MailboxSettings* s = parse->settings;
  if (s->host.empty()) {
    *err = "there is no Host" + parse->where + "; write Host = imap.example.org";
    return false;
  }
  if (s->user.empty()) {
    *err = "there is no User" + parse->where + "; write the mailbox's login name";
    return false;
  }
  if (s->has_password && !s->password_command.empty()) {
    *err = "both Password and PasswordCommand are given" + parse->where + "; keep one";
    return false;
  }
  if (s->folder.empty()) {
    *err = "Folder is empty" + parse->where + "; leave it out for INBOX";
    return false;
  }
  ServerAddress address = ParseServerName(s->host);
  int port = 0;
  if (address.port_written) {
    std::from_chars(address.port.data(), address.port.data() + address.port.size(), port);
  }
  if (address.port_written && port == 0) {
    *err = "Host has no port number after \":\"" + parse->where;
    return false;
  }
  s->host = address.host;
  s->port = address.port_written ? port : 993;
  if (parse->security.empty()) {
    s->starttls = s->port == 143;
  } else if (EqualsIgnoreAsciiCase(parse->security, "tls")) {
    s->starttls = false;
  } else if (EqualsIgnoreAsciiCase(parse->security, "starttls")) {
    s->starttls = true;
  } else {
    // Never in clear: the mailbox holds a login and the subscribers' mail.
    *err = "Security is \"" + parse->security + "\"" + parse->where + "; write tls or starttls";
    return false;
  }
  if (!s->ca_file.empty() && s->ca_file.front() != '/') {
    // A relative CAFile sits beside the settings file.
    size_t slash = s->source.rfind('/');
    if (slash != std::string::npos) s->ca_file = s->source.substr(0, slash + 1) + s->ca_file;
  }
  return true;
}

}  // namespace

bool ReadMailboxSettings(const std::string& path, MailboxSettings* settings, std::string* err) {
  *settings = MailboxSettings();
  settings->source = path;
  SettingsFileText file;
  switch (ReadSettingsFile(path, &file, err)) {
    case SettingsFileRead::kMissing:
      *err = "there is no " + path + "; give the list's mailbox in its [Mailbox]";
      return false;
    case SettingsFileRead::kFailed:
      return false;
    case SettingsFileRead::kRead:
      break;
  }
  Parse parse;
  parse.settings = settings;
  parse.where = " in [Mailbox] of " + path;
  // Every line stands alone: an indented line is a key of its own, never
  // more of the value before it.
  if (int line = ReadIniLines(
          file.text, [&parse](std::string_view section, std::string_view key,
                              std::string_view value) { OnEntry(&parse, section, key, value); });
      line != 0) {
    *err = path + " line " + std::to_string(line) +
           " is not a [section], a Key = Value line or a comment";
    return false;
  }
  if (parse.holds_secret && file.others_can_read) {
    *err = path + " holds a login and can be read by other users; make it private with chmod 600 " +
           path;
    return false;
  }
  if (!parse.section_found) {
    *err = "there is no [Mailbox] section in " + path + "; give the list's mailbox there";
    return false;
  }
  if (!parse.error.empty()) {
    *err = parse.error;
    return false;
  }
  return Finish(&parse, err);
}

bool MailboxPassword(const MailboxSettings& settings, std::string* password, std::string* err) {
  // The mailer's own rules for the two keys, and its command runner.
  ServerSettings server;
  server.user = settings.user;
  server.password = settings.password;
  server.has_password = settings.has_password;
  server.password_command = settings.password_command;
  server.source = settings.source;
  Outcome outcome = ResolvePassword(server, password);
  if (!outcome.ok()) *err = outcome.message();
  return outcome.ok();
}

}  // namespace verdanpost::mailbox
