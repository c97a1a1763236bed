#ifndef VERDANPOST_CONSOLE_SETTINGS_MESSAGE_DEFINITION_H_
#define VERDANPOST_CONSOLE_SETTINGS_MESSAGE_DEFINITION_H_

#include <QString>

namespace verdanpost {

class SettingsStore;

// Check states as the check boxes hold them.
inline constexpr int kUnchecked = 0;
inline constexpr int kChecked = 1;
inline constexpr int kGrayed = 2;

// One stored message: the message to the whole list, the greeting or the
// farewell. Fields in store order.
struct MessageDefinition {
  bool UseFile = true;
  bool UseText = false;
  QString FileName;
  int SendRaw = kChecked;  // check state
  QString Subject;
  QString MessageText;  // lines end in CR LF

  bool operator==(const MessageDefinition&) const = default;
};

// The values of the Setup page ("Setup" section). Fields in store order.
struct SetupSettings {
  QString FromName;
  QString FromEmail;
  QString ToName;
  QString ToEmail;
  QString SMTPServer;
  QString RecipientsPerMessage;                // as typed; the bulk send converts it
  int LimitRecipientsPerMessage = kUnchecked;  // check state
  int CopyMessages = kChecked;                 // check state

  bool operator==(const SetupSettings&) const = default;
};

// Reads and writes the six keys of a definition, in store order; missing or
// unconvertible values give the read defaults.
MessageDefinition ReadMessageDefinition(SettingsStore& store, const QString& section);
void WriteMessageDefinition(SettingsStore& store, const QString& section,
                            const MessageDefinition& definition);

// The same for the eight keys of the "Setup" section.
SetupSettings ReadSetupSettings(SettingsStore& store);
void WriteSetupSettings(SettingsStore& store, const SetupSettings& setup);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_SETTINGS_MESSAGE_DEFINITION_H_
