#ifndef VERDANPOST_CONSOLE_SETTINGS_CONSOLE_SETTINGS_H_
#define VERDANPOST_CONSOLE_SETTINGS_CONSOLE_SETTINGS_H_

#include <optional>

#include <QString>

#include "console/settings/settings_store.h"

class QSettings;

namespace verdanpost {

class ConsoleView;

// The window's handlers that move the message definitions and the setup
// values between the settings store and the controls, and the message
// editor's switching between its three definitions. Section names come from
// the editor tabs' tags. *settings and *view must outlive this object.
class ConsoleSettings {
 public:
  ConsoleSettings(QSettings& settings, ConsoleView& view);
  ConsoleSettings(const ConsoleSettings&) = delete;
  ConsoleSettings& operator=(const ConsoleSettings&) = delete;

  // Enters editor tab 1 with the "Messages" definition and loads the Setup
  // page. Returns the text to show when the store's file cannot be read or
  // is damaged (see SettingsStore::CheckFile).
  std::optional<QString> Form_Load();
  // Writes the shown definition to its tab's section and the Setup page to
  // "Setup". Returns the text to show when the store could not be written.
  std::optional<QString> Form_Unload();
  // Saves the editor to the section of the tab it showed and loads the
  // selected tab's definition; does nothing when that tab is already shown.
  void MessagesTabStrip_Click();

  // 1-based editor tab whose definition the editor holds.
  int CurrentMessageTab() const { return current_message_tab_; }

  void LoadMessageDefinition(const QString& section);
  void SaveMessageDefinition(const QString& section);
  void LoadSetupSettings();
  void SaveSetupSettings();

 private:
  SettingsStore store_;
  ConsoleView& view_;
  int current_message_tab_ = 1;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_SETTINGS_CONSOLE_SETTINGS_H_
