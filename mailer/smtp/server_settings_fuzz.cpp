// Fuzzes the servers.ini reader. The first byte of an input chooses the
// server asked about (its low bits) and whether others can read the file
// (its high bit); the rest is the file. Properties, checked against a
// reading of the documented rules made here:
// - every line stands alone: blanks at either end are dropped, an optional
//   byte-order mark opens the file, ";" after a blank starts a comment, as
//   does ";" or "#" first on a line; "[name]" opens a section (what follows
//   the "]" is ignored), "Key = Value" or "Key: Value" sets a key; anything
//   else, or a NUL byte, is a bad line, and the first one is told by number;
// - a file with User, Password or PasswordCommand in any section is refused
//   when others can read it, naming the most telling of them, before
//   anything else;
// - without problems, the keys of the server's sections (host in any case,
//   port as written) set the settings, the last one counting;
// - the four limits are whole numbers from 1 to 1000000000, in digits;
// - the values of User, Password and PasswordCommand change no text: the
//   same file with other non-empty values gives the same outcome.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mailer/smtp/ini_lines.h"
#include "mailer/smtp/server_settings.h"
#include "platform/ascii.h"
#include "testing/fuzz_check.h"

namespace verdanpost {
namespace {

constexpr char kPath[] = "/fuzz/servers.ini";
const char* const kServers[] = {
    "smtp.example.org:587", "smtp.example.org", "SMTP.Example.Org:465", "[::1]:2525", "a", ""};

struct Entry {
  std::string section, key, value;
  size_t value_end;  // where the value ends in the file
};

struct Reading {
  std::vector<Entry> entries;
  int first_bad = 0;
};

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// [begin, end) of `text` without blanks at either end.
void Trim(std::string_view text, size_t* begin, size_t* end) {
  while (*begin < *end && Blank(text[*begin])) ++*begin;
  while (*end > *begin && Blank(text[*end - 1])) --*end;
}

// The rules, read character by character over offsets into the whole file.
Reading ReadByTheRules(std::string_view text) {
  Reading reading;
  std::string section;
  size_t start = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  for (int number = 1; start < text.size(); ++number) {
    size_t stop = start;
    while (stop < text.size() && text[stop] != '\n') ++stop;
    size_t next = stop + 1;
    size_t begin = start, end = stop;
    Trim(text, &begin, &end);
    bool comment = begin == end || text[begin] == ';' || text[begin] == '#';
    if (!comment) {
      for (size_t i = begin + 1; i < end; ++i) {
        if (text[i] == ';' && Blank(text[i - 1])) end = i;
      }
      Trim(text, &begin, &end);
      bool good = true;
      for (size_t i = begin; i < end; ++i) good = good && text[i] != '\0';
      size_t mark = begin;
      if (good && text[begin] == '[') {
        while (mark < end && text[mark] != ']') ++mark;
        good = mark < end;
        if (good) {
          size_t name_begin = begin + 1, name_end = mark;
          Trim(text, &name_begin, &name_end);
          section = text.substr(name_begin, name_end - name_begin);
        }
      } else if (good) {
        while (mark < end && text[mark] != '=' && text[mark] != ':') ++mark;
        size_t key_begin = begin, key_end = mark, value_begin = mark + 1, value_end = end;
        Trim(text, &key_begin, &key_end);
        good = mark < end && key_begin < key_end;
        if (good) {
          Trim(text, &value_begin, &value_end);
          value_begin = std::min(value_begin, value_end);
          reading.entries.push_back(
              {section, std::string(text.substr(key_begin, key_end - key_begin)),
               std::string(text.substr(value_begin, value_end - value_begin)), value_end});
        }
      }
      if (!good && reading.first_bad == 0) reading.first_bad = number;
    }
    start = next;
  }
  return reading;
}

bool Secret(const std::string& key) {
  return EqualsIgnoreAsciiCase(key, "User") || EqualsIgnoreAsciiCase(key, "Password") ||
         EqualsIgnoreAsciiCase(key, "PasswordCommand");
}

void CheckReader(std::string_view text, const Reading& expected) {
  std::vector<Entry> entries;
  int first_bad = ReadIniLines(
      text, [&entries](std::string_view section, std::string_view key, std::string_view value) {
        entries.push_back({std::string(section), std::string(key), std::string(value), 0});
      });
  FUZZ_CHECK(first_bad == expected.first_bad);
  FUZZ_CHECK(entries.size() == expected.entries.size());
  for (size_t i = 0; i < entries.size() && i < expected.entries.size(); ++i) {
    FUZZ_CHECK_EQ(entries[i].section, expected.entries[i].section);
    FUZZ_CHECK_EQ(entries[i].key, expected.entries[i].key);
    FUZZ_CHECK_EQ(entries[i].value, expected.entries[i].value);
  }
}

// The settings the server's sections give, or false when one of their keys
// or values is not understood.
bool Expected(const Reading& reading, const std::string& server, ServerSettings* s,
              bool* greeting_given) {
  for (const Entry& e : reading.entries) {
    if (!SectionNames(e.section, server)) continue;
    const std::string& v = e.value;
    if (EqualsIgnoreAsciiCase(e.key, "Security")) {
      if (EqualsIgnoreAsciiCase(v, "none"))
        s->security = Security::kNone;
      else if (EqualsIgnoreAsciiCase(v, "starttls"))
        s->security = Security::kStartTls;
      else if (EqualsIgnoreAsciiCase(v, "tls"))
        s->security = Security::kTls;
      else
        return false;
    } else if (EqualsIgnoreAsciiCase(e.key, "Greeting")) {
      *greeting_given = true;
      if (EqualsIgnoreAsciiCase(v, "HELO"))
        s->greeting = Greeting::kHelo;
      else if (EqualsIgnoreAsciiCase(v, "EHLO"))
        s->greeting = Greeting::kEhlo;
      else
        return false;
    } else if (EqualsIgnoreAsciiCase(e.key, "User")) {
      s->user = v;
    } else if (EqualsIgnoreAsciiCase(e.key, "Password")) {
      s->password = v;
      s->has_password = true;
    } else if (EqualsIgnoreAsciiCase(e.key, "PasswordCommand")) {
      s->password_command = v;
    } else if (EqualsIgnoreAsciiCase(e.key, "RecipientsPerMessage") ||
               EqualsIgnoreAsciiCase(e.key, "MessagesPerMinute") ||
               EqualsIgnoreAsciiCase(e.key, "MessagesPerHour") ||
               EqualsIgnoreAsciiCase(e.key, "RecipientsPerDay")) {
      // A whole number from 1 to 1000000000, in digits.
      size_t digits = v.find_first_not_of('0');
      if (v.empty() || v.find_first_not_of("0123456789") != std::string::npos ||
          digits == std::string::npos || v.size() - digits > 10 ||
          std::stoll(v.substr(digits)) > 1000000000) {
        return false;
      }
    } else if (!EqualsIgnoreAsciiCase(e.key, "CAFile")) {
      return false;
    }
  }
  return true;
}

void CheckSettings(const Reading& reading, const std::string& server, bool others_can_read,
                   const Outcome& outcome, const ServerSettings& got) {
  const std::string prefix = "Server settings are not valid: ";
  std::string telling;
  for (const char* key : {"User", "PasswordCommand", "Password"}) {
    for (const Entry& e : reading.entries) {
      if (EqualsIgnoreAsciiCase(e.key, key)) telling = key;
    }
  }
  const std::string refusal = prefix + kPath + " holds a " + telling +
                              " and can be read by other users; make it private with chmod 600 " +
                              kPath;
  if (others_can_read && !telling.empty()) {
    FUZZ_CHECK_EQ(outcome.message(), refusal);
    return;
  }
  FUZZ_CHECK(outcome.message() != refusal);
  if (reading.first_bad != 0) {
    FUZZ_CHECK_EQ(outcome.message(), prefix + kPath + " line " + std::to_string(reading.first_bad) +
                                         " is not a [section], a Key = Value line or a comment");
    return;
  }
  ServerSettings want;
  ServerSettings defaults;
  ParseServerSettings({}, kPath, server, false, &defaults);
  want.security = defaults.security;
  bool greeting_given = false;
  if (!Expected(reading, server, &want, &greeting_given)) {
    FUZZ_CHECK(outcome.code() == 58);
    return;
  }
  if (!greeting_given) {
    want.greeting = want.security == Security::kNone ? Greeting::kHelo : Greeting::kEhlo;
  }
  bool refused = (want.has_password && !want.password_command.empty()) ||
                 (want.greeting == Greeting::kHelo &&
                  (want.security == Security::kStartTls || !want.user.empty()));
  FUZZ_CHECK(outcome.code() == (refused ? 58 : 0));
  if (refused) return;
  FUZZ_CHECK(got.security == want.security);
  FUZZ_CHECK(got.greeting == want.greeting);
  FUZZ_CHECK_EQ(got.user, want.user);
  FUZZ_CHECK_EQ(got.password, want.password);
  FUZZ_CHECK(got.has_password == want.has_password);
  FUZZ_CHECK_EQ(got.password_command, want.password_command);
}

// The file with a mark added to every non-empty secret value.
std::string WithMarkedSecrets(std::string_view text, const Reading& reading,
                              std::string_view mark) {
  std::string marked(text);
  for (auto e = reading.entries.rbegin(); e != reading.entries.rend(); ++e) {
    if (Secret(e->key) && !e->value.empty()) marked.insert(e->value_end, mark);
  }
  return marked;
}

}  // namespace
}  // namespace verdanpost

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace verdanpost;
  if (size < 1) return 0;
  const std::string server = kServers[(data[0] & 0x7f) % std::size(kServers)];
  const bool others_can_read = (data[0] & 0x80) != 0;
  std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  Reading reading = ReadByTheRules(text);
  CheckReader(text, reading);
  ServerSettings settings;
  Outcome outcome = ParseServerSettings(text, kPath, server, others_can_read, &settings);
  FUZZ_CHECK(outcome.ok() || outcome.code() == 58);
  CheckSettings(reading, server, others_can_read, outcome, settings);

  const std::string mark = "{secret-mark}";
  if (text.find(mark) == std::string_view::npos) {
    std::string marked = WithMarkedSecrets(text, reading, mark);
    ServerSettings marked_settings;
    Outcome again = ParseServerSettings(marked, kPath, server, others_can_read, &marked_settings);
    FUZZ_CHECK(again.code() == outcome.code());
    FUZZ_CHECK_EQ(again.message(), outcome.message());
  }
  return 0;
}
