#include "mailer/smtp/server_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace verdanpost {
namespace {

namespace fs = std::filesystem;

class ServerSettingsTest : public ::testing::Test {
 protected:
  ~ServerSettingsTest() override { fs::remove_all(dir_); }

  std::string Write(const std::string& content, mode_t mode = 0600) {
    fs::create_directories(dir_);
    std::string path = (dir_ / "servers.ini").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    ::chmod(path.c_str(), mode);
    return path;
  }

  ServerSettings Read(const std::string& path, const std::string& server) {
    ServerSettings settings;
    Outcome outcome = ReadServerSettings(path, server, &settings);
    EXPECT_TRUE(outcome.ok()) << server << ": " << outcome.message();
    return settings;
  }

  void ExpectInvalid(const std::string& path, const std::string& server, const std::string& why) {
    ServerSettings settings;
    Outcome outcome = ReadServerSettings(path, server, &settings);
    EXPECT_EQ(outcome.code(), 58);
    EXPECT_EQ(outcome.message(), "Server settings are not valid: " + why);
  }

  fs::path dir_ = fs::temp_directory_path() / ("server_settings_" + std::to_string(::getpid()));
};

TEST_F(ServerSettingsTest, DefaultsFollowThePort) {
  std::string missing = (dir_ / "none.ini").string();
  struct Case {
    const char* server;
    Security security;
    Greeting greeting;
  } cases[] = {
      {"smtp.example.org:465", Security::kTls, Greeting::kEhlo},
      {"smtp.example.org:587", Security::kStartTls, Greeting::kEhlo},
      {"smtp.example.org", Security::kNone, Greeting::kHelo},
      {"[::1]:2525", Security::kNone, Greeting::kHelo},
  };
  for (const Case& c : cases) {
    ServerSettings s = Read(missing, c.server);
    EXPECT_EQ(s.security, c.security) << c.server;
    EXPECT_EQ(s.greeting, c.greeting) << c.server;
    EXPECT_TRUE(s.user.empty());
    EXPECT_TRUE(s.ca_file.empty());
  }
  // A file without the server's section gives the same.
  std::string path = Write("[other.example.org:587]\nUser = someone\n");
  EXPECT_EQ(Read(path, "smtp.example.org:587").security, Security::kStartTls);
  EXPECT_TRUE(Read(path, "smtp.example.org:587").user.empty());
}

TEST_F(ServerSettingsTest, SectionIsTheServerNameWithHostInAnyCase) {
  std::string path = Write(
      "; the provider\n"
      "[SMTP.Example.ORG:587]\n"
      "User = ann@example.org\n"
      "Password = s3cret word\n"
      "CAFile = ca.pem\n"
      "[smtp.example.org]\n"
      "security = TLS\n"
      "greeting = helo\n"
      "[relay.example.org:25]\n"
      "Security = none\n"
      "Greeting = EHLO\n");
  ServerSettings s = Read(path, "smtp.example.org:587");
  EXPECT_EQ(s.security, Security::kStartTls);
  EXPECT_EQ(s.greeting, Greeting::kEhlo);
  EXPECT_EQ(s.user, "ann@example.org");
  EXPECT_EQ(s.password, "s3cret word");
  EXPECT_EQ(s.ca_file, (dir_ / "ca.pem").string());  // beside the file

  // No port written matches only a section without one, and back.
  ServerSettings bare = Read(path, "smtp.example.org");
  EXPECT_EQ(bare.security, Security::kTls);
  EXPECT_EQ(bare.greeting, Greeting::kHelo);
  EXPECT_TRUE(bare.user.empty());
  EXPECT_EQ(Read(path, "relay.example.org").greeting, Greeting::kHelo);
  EXPECT_EQ(Read(path, "relay.example.org:25").greeting, Greeting::kEhlo);
  // Another port is another server.
  EXPECT_TRUE(Read(path, "smtp.example.org:465").user.empty());
}

TEST_F(ServerSettingsTest, ProblemsAreRefusedWithWhatToChange) {
  const std::string server = "smtp.example.org:587";
  {
    std::string path = Write("[smtp.example.org:587]\nSecurity = ssl\n");
    ExpectInvalid(path, server,
                  "Security is \"ssl\" in [smtp.example.org:587] of " + path +
                      "; write none, starttls or tls");
  }
  {
    std::string path = Write("[smtp.example.org:587]\nGreeting = HELLO\n");
    ExpectInvalid(
        path, server,
        "Greeting is \"HELLO\" in [smtp.example.org:587] of " + path + "; write HELO or EHLO");
  }
  {
    std::string path = Write("[smtp.example.org:587]\nUser = ann\nPasword = x\n");
    ExpectInvalid(path, server,
                  "unknown key \"Pasword\" in [smtp.example.org:587] of " + path +
                      "; the keys are Security, User, Password, PasswordCommand, CAFile, Greeting, "
                      "RecipientsPerMessage, MessagesPerMinute, MessagesPerHour, RecipientsPerDay");
  }
  {
    std::string path = Write("[smtp.example.org:587]\nUser ann\n");
    ExpectInvalid(path, server,
                  path + " line 2 is not a [section], a Key = Value line or a comment");
  }
  {
    std::string path = Write("[smtp.example.org:587]\nPassword = x\nPasswordCommand = echo x\n");
    ExpectInvalid(
        path, server,
        "[" + server + "] of " + path + " has both Password and PasswordCommand; keep one");
  }
  {
    std::string path = Write("[smtp.example.org:587]\nGreeting = HELO\n");
    ExpectInvalid(path, server,
                  "[" + server + "] of " + path +
                      " has Greeting HELO with Security starttls; STARTTLS needs Greeting EHLO");
    path = Write("[smtp.example.org:587]\nSecurity = tls\nGreeting = HELO\nUser = ann\n");
    ExpectInvalid(path, server,
                  "[" + server + "] of " + path +
                      " has Greeting HELO with a User; signing in needs Greeting EHLO");
  }
  {
    // Any Password in the file, for whichever server, makes it secret.
    std::string path = Write("[other.example.org]\nPassword = x\n", 0640);
    ExpectInvalid(path, server,
                  path +
                      " holds a Password and can be read by other users; make it private with "
                      "chmod 600 " +
                      path);
    ::chmod(path.c_str(), 0600);
    Read(path, server);
  }
  for (mode_t mode : {0620, 0602}) {
    // Others could choose the password command, or the authorities trusted.
    std::string path = Write("[other.example.org]\nSecurity = tls\n", mode);
    ExpectInvalid(path, server,
                  path + " can be changed by other users; make it private with chmod 600 " + path);
  }
  {
    std::string path = dir_.string();  // a folder, not a file
    ExpectInvalid(path, server, path + " is not a file");
  }
  {
    // Mistakes in another server's section do not stop this one, and a file
    // without a login may be readable by everyone.
    std::string path =
        Write("[other.example.org]\nSecurity = ssl\n[" + server + "]\nSecurity = tls\n", 0644);
    EXPECT_EQ(Read(path, server).security, Security::kTls);
  }
}

TEST_F(ServerSettingsTest, EveryLineStandsAlone) {
  const std::string server = "smtp.example.org:587";
  {
    // Indented keys are keys, not the rest of the line before.
    std::string path = Write(
        "[smtp.example.org:587]\n"
        "  User = ann@example.org\n"
        "\tPassword = hunter2-secret\n");
    ServerSettings s = Read(path, server);
    EXPECT_EQ(s.user, "ann@example.org");
    EXPECT_EQ(s.password, "hunter2-secret");
    EXPECT_TRUE(s.has_password);
  }
  {
    // An indented line of its own is not a value's second line.
    std::string path = Write("[smtp.example.org:587]\nUser = ann\n   more of it\n");
    ExpectInvalid(path, server,
                  path + " line 3 is not a [section], a Key = Value line or a comment");
  }
  {
    // Long lines and long host names are read whole.
    std::string command = "printf '%s\\n' " + std::string(300, 'x');
    std::string host = std::string(70, 'h') + ".example.org:587";
    std::string path = Write("[" + host + "]\nUser = ann\nPasswordCommand = " + command + "\n");
    EXPECT_EQ(Read(path, host).password_command, command);
    EXPECT_TRUE(Read(path, std::string(70, 'h') + ".example.net:587").user.empty());
  }
  {
    // A byte-order mark, CR LF line ends, comments, "Key: Value" and a
    // comment after a blank and ";".
    std::string path = Write(
        "\xEF\xBB\xBF; servers\r\n"
        "  # indented comment\r\n"
        "[smtp.example.org:587] ; the provider\r\n"
        "User: ann\r\n"
        "Password = a;b ; not part of it\r\n"
        "CAFile =\r\n");
    ServerSettings s = Read(path, server);
    EXPECT_EQ(s.user, "ann");
    EXPECT_EQ(s.password, "a;b");
    EXPECT_TRUE(s.ca_file.empty());
  }
  for (const std::string& bad :
       std::initializer_list<std::string>{"[smtp.example.org:587\n", "[smtp.example.org:587 ;]\n",
                                          "= value\n", std::string("User = a\0b\n", 11)}) {
    std::string path = Write("; first\n" + bad + "Security = tls\n");
    ExpectInvalid(path, server,
                  path + " line 2 is not a [section], a Key = Value line or a comment");
  }
}

TEST_F(ServerSettingsTest, ProviderLimitsAreWholeNumbersFromOneToABillion) {
  const std::string server = "smtp.example.org:587";
  {
    // Any case of key, blanks around the value, the last one counting; the
    // limits are not secret, so everyone may read the file.
    std::string path = Write(
        "[smtp.example.org:587]\n"
        "RecipientsPerMessage = 50\n"
        "messagesperminute=\t30 \n"
        "MessagesPerHour = 1000000000\n"
        "RecipientsPerDay = 2000\n"
        "RecipientsPerDay = 0500\n"
        "[other.example.org]\n"
        "MessagesPerHour = 7\n",
        0644);
    ServerLimits limits = Read(path, server).limits;
    EXPECT_EQ(limits.recipients_per_message, 50);
    EXPECT_EQ(limits.messages_per_minute, 30);
    EXPECT_EQ(limits.messages_per_hour, 1000000000);
    EXPECT_EQ(limits.recipients_per_day, 500);
    // Left out: no limit, also for a server without a section.
    ServerLimits other = Read(path, "other.example.org").limits;
    EXPECT_EQ(other.messages_per_hour, 7);
    EXPECT_EQ(other.recipients_per_message, 0);
    EXPECT_EQ(other.messages_per_minute, 0);
    EXPECT_EQ(other.recipients_per_day, 0);
    EXPECT_EQ(Read(path, "smtp.example.org:465").limits.recipients_per_day, 0);
  }
  struct Bad {
    const char* key;
    const char* value;
  } bad[] = {
      {"RecipientsPerMessage", "0"},     {"MessagesPerMinute", "-5"},
      {"MessagesPerHour", "1000000001"}, {"RecipientsPerDay", "abc"},
      {"RecipientsPerDay", ""},          {"RecipientsPerMessage", "99999999999999999999999"},
      {"MessagesPerMinute", "1 000"},    {"MessagesPerHour", "+20"},
      {"RecipientsPerDay", "2.5"},
  };
  for (const Bad& b : bad) {
    std::string path = Write("[smtp.example.org:587]\n" + std::string(b.key) + " = " + b.value +
                             "\nSecurity = tls\n");
    ExpectInvalid(path, server,
                  std::string(b.key) + " is \"" + b.value + "\" in [smtp.example.org:587] of " +
                      path + "; write a whole number from 1 to 1000000000");
  }
  // Named as documented whatever the case written.
  std::string path = Write("[smtp.example.org:587]\nrecipientsperday = none\n");
  ExpectInvalid(path, server,
                "RecipientsPerDay is \"none\" in [smtp.example.org:587] of " + path +
                    "; write a whole number from 1 to 1000000000");
}

TEST_F(ServerSettingsTest, LoginsMakeTheFilePrivate) {
  const std::string server = "smtp.example.org:587";
  auto refusal = [](const std::string& path, const std::string& key) {
    return path + " holds a " + key +
           " and can be read by other users; make it private with chmod 600 " + path;
  };
  {
    // The indented login of a file everyone can read: refused, before the
    // line that is wrong, naming the most telling key.
    std::string path = Write(
        "[other.example.org:587]\n"
        "  user = ann@example.org\n"
        "  Password = hunter2-secret\n"
        "hunter2-secret\n",
        0644);
    ExpectInvalid(path, server, refusal(path, "Password"));
  }
  for (const char* key : {"User", "Password", "PasswordCommand"}) {
    for (mode_t mode : {0640, 0604}) {
      std::string path = Write(std::string("[other.example.org]\n") + key + " = x\n", mode);
      ExpectInvalid(path, server, refusal(path, key));
    }
  }
}

TEST_F(ServerSettingsTest, PasswordFromTheFileOrTheCommand) {
  ServerSettings s;
  s.user = "ann";
  s.source = "/home/ann/.config/verdanpost/servers.ini";
  std::string password;
  {
    Outcome outcome = ResolvePassword(s, &password);
    EXPECT_EQ(outcome.code(), 57);
    EXPECT_EQ(
        outcome.message(),
        "Could not authenticate: there is no password for the User; give Password or "
        "PasswordCommand in the server's section of /home/ann/.config/verdanpost/servers.ini");
  }
  s.has_password = true;  // an empty Password is a password
  EXPECT_TRUE(ResolvePassword(s, &password).ok());
  EXPECT_EQ(password, "");

  s.has_password = false;
  s.password_command = "printf 'pass word\\r\\nsecond line\\n'";
  EXPECT_TRUE(ResolvePassword(s, &password).ok());
  EXPECT_EQ(password, "pass word");
  s.password_command = "printf 'no line end'";
  EXPECT_TRUE(ResolvePassword(s, &password).ok());
  EXPECT_EQ(password, "no line end");
  {
    s.password_command = "echo secret; exit 3";
    Outcome outcome = ResolvePassword(s, &password);
    EXPECT_EQ(outcome.code(), 57);
    EXPECT_EQ(outcome.message(),
              "Could not authenticate: the password command failed (exit status 3)");
  }
  {
    s.password_command = "true";
    Outcome outcome = ResolvePassword(s, &password);
    EXPECT_EQ(outcome.message(),
              "Could not authenticate: the password command printed no password");
  }
}

}  // namespace
}  // namespace verdanpost
