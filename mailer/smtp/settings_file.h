#ifndef VERDANPOST_MAILER_SMTP_SETTINGS_FILE_H_
#define VERDANPOST_MAILER_SMTP_SETTINGS_FILE_H_

#include <string>
#include <string_view>

namespace verdanpost {

// The bytes of a settings file that may hold passwords (servers.ini).
struct SettingsFileText {
  std::string text;
  bool others_can_read = false;

  SettingsFileText() = default;
  SettingsFileText(const SettingsFileText&) = delete;
  SettingsFileText& operator=(const SettingsFileText&) = delete;
  // The bytes are wiped before their memory goes.
  ~SettingsFileText();
};

enum class SettingsFileRead { kRead, kMissing, kFailed };

// Reads the settings file at `path` into *file. kMissing when there is no
// such file; kFailed with *err when it is not a regular file, cannot be
// read, or can be changed by other users (whoever can write it chooses the
// password command and the authorities trusted): "PATH can be changed by
// other users; make it private with chmod 600 PATH".
SettingsFileRead ReadSettingsFile(const std::string& path, SettingsFileText* file,
                                  std::string* err);

// Whether `key` is one whose value is secret (User, Password,
// PasswordCommand, in any case): it never appears in a text, and makes the
// file private.
bool IsSecretSettingsKey(std::string_view key);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_SETTINGS_FILE_H_
