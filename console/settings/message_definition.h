#ifndef VERDANPOST_CONSOLE_SETTINGS_MESSAGE_DEFINITION_H_
#define VERDANPOST_CONSOLE_SETTINGS_MESSAGE_DEFINITION_H_

#include <cstdint>

#include <QString>

namespace verdanpost {

class SettingsStore;

// A check box's state; the settings store keeps it as its decimal value.
enum class CheckState : int16_t { kUnchecked = 0, kChecked = 1, kGrayed = 2 };
using enum CheckState;

// One stored message: the message to the whole list, the greeting or the
// farewell. Fields in store order.
struct MessageDefinition {
  bool UseFile = true;
  bool UseText = false;
  QString FileName;
  CheckState SendRaw = kChecked;
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
  QString RecipientsPerMessage;  // as typed; the bulk send converts it
  CheckState LimitRecipientsPerMessage = kUnchecked;
  CheckState CopyMessages = kChecked;

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
