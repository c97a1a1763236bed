#include "mailer/smtp/server_settings.h"

#include <fcntl.h>
#include <ini.h>
#include <openssl/crypto.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "mailer/smtp/address_list.h"
#include "mailer/smtp/server_address.h"
#include "platform/ascii.h"
#include "platform/xdg_paths.h"

namespace verdanpost {
namespace {

// Everything one pass over the file finds.
struct Parse {
  const std::string* server_name;
  const std::string* path;
  ServerSettings* settings;
  bool any_password = false;  // a Password key in any section
  bool greeting_given = false;
  std::string error;  // the first problem in the server's section
};

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

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
  } else {
    // A mistyped key would otherwise drop what it was meant to set, say
    // the login, and the mail would go out unauthenticated.
    parse->error = "unknown key " + Quoted(key) + where +
                   "; the keys are Security, User, Password, PasswordCommand, CAFile, Greeting";
  }
}

int OnEntry(void* user, const char* section, const char* name, const char* value) {
  auto* parse = static_cast<Parse*>(user);
  if (EqualsIgnoreAsciiCase(name, "Password")) parse->any_password = true;
  std::string_view trimmed = TrimBlanks(section);
  if (parse->error.empty() && SectionNames(std::string(trimmed), *parse->server_name)) {
    Take(parse, trimmed, name, value);
  }
  return 1;
}

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

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

  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    default_greeting();
    return Outcome::Fine();
  }
  File file(fd < 0 ? nullptr : ::fdopen(fd, "r"), &std::fclose);
  if (file == nullptr) {
    int error = errno;
    if (fd >= 0) ::close(fd);
    return Outcome::InvalidSettings("cannot read " + path + " (" + std::strerror(error) + ")");
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    return Outcome::InvalidSettings(path + " is not a file");
  }

  Parse parse{&server_name, &path, settings, false, false, {}};
  settings->source = path;
  int line = ini_parse_file(file.get(), &OnEntry, &parse);
  if (line != 0) {
    return Outcome::InvalidSettings(path + " line " + std::to_string(line) +
                                    " is not a [section], a Key = Value line or a comment");
  }
  if (parse.any_password && (info.st_mode & (S_IRGRP | S_IROTH)) != 0) {
    return Outcome::InvalidSettings(path +
                                    " holds a Password and can be read by other users; "
                                    "make it private with chmod 600 " +
                                    path);
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

Outcome ResolvePassword(const ServerSettings& settings, std::string* password) {
  if (settings.has_password) {
    *password = settings.password;
    return Outcome::Fine();
  }
  if (settings.password_command.empty()) {
    return Outcome::CannotAuthenticate(
        "there is no password for " + settings.user +
        "; give Password or PasswordCommand in the server's "
        "section of " +
        (settings.source.empty() ? ServerSettingsPath() : settings.source));
  }
  FILE* pipe = ::popen(settings.password_command.c_str(), "re");
  if (pipe == nullptr) {
    return Outcome::CannotAuthenticate("the password command could not be started (" +
                                       std::string(std::strerror(errno)) + ")");
  }
  // All of the output is read, so the command never blocks on a full pipe.
  std::string output;
  char buffer[512];
  for (size_t got; (got = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0;) {
    output.append(buffer, got);
  }
  int status = ::pclose(pipe);
  bool finished = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  size_t end = std::min(output.find('\n'), output.size());
  if (end > 0 && output[end - 1] == '\r') --end;
  if (finished && end > 0) password->assign(output, 0, end);
  // The session wipes its own copy; these are the others.
  OPENSSL_cleanse(output.data(), output.size());
  OPENSSL_cleanse(buffer, sizeof(buffer));
  if (!finished) {
    std::string how = status != -1 && WIFEXITED(status)
                          ? "exit status " + std::to_string(WEXITSTATUS(status))
                          : "it did not finish normally";
    return Outcome::CannotAuthenticate("the password command failed (" + how +
                                       "): " + settings.password_command);
  }
  if (end == 0) {
    return Outcome::CannotAuthenticate("the password command printed no password: " +
                                       settings.password_command);
  }
  return Outcome::Fine();
}

}  // namespace verdanpost
