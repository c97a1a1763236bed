#include "console/settings/message_definition.h"

#include "console/settings/settings_store.h"

namespace verdanpost {

namespace {
const QString kSetupSection = QStringLiteral("Setup");
}  // namespace

MessageDefinition ReadMessageDefinition(SettingsStore& store, const QString& section) {
  MessageDefinition d;
  d.UseFile = store.ReadBoolean(section, "UseFile", "true");
  d.UseText = store.ReadBoolean(section, "UseText", "false");
  d.FileName = store.Read(section, "FileName");
  d.SendRaw = store.ReadCheckState(section, "SendRaw", "1");
  d.Subject = store.Read(section, "Subject");
  d.MessageText = store.Read(section, "MessageText");
  return d;
}

void WriteMessageDefinition(SettingsStore& store, const QString& section,
                            const MessageDefinition& definition) {
  store.WriteBoolean(section, "UseFile", definition.UseFile);
  store.WriteBoolean(section, "UseText", definition.UseText);
  store.Write(section, "FileName", definition.FileName);
  store.WriteCheckState(section, "SendRaw", definition.SendRaw);
  store.Write(section, "Subject", definition.Subject);
  store.Write(section, "MessageText", definition.MessageText);
}

SetupSettings ReadSetupSettings(SettingsStore& store) {
  SetupSettings s;
  s.FromName = store.Read(kSetupSection, "FromName");
  s.FromEmail = store.Read(kSetupSection, "FromEmail");
  s.ToName = store.Read(kSetupSection, "ToName");
  s.ToEmail = store.Read(kSetupSection, "ToEmail");
  s.SMTPServer = store.Read(kSetupSection, "SMTPServer");
  s.RecipientsPerMessage = store.Read(kSetupSection, "RecipientsPerMessage");
  s.LimitRecipientsPerMessage =
      store.ReadCheckState(kSetupSection, "LimitRecipientsPerMessage", "0");
  s.CopyMessages = store.ReadCheckState(kSetupSection, "CopyMessages", "1");
  return s;
}

void WriteSetupSettings(SettingsStore& store, const SetupSettings& setup) {
  store.Write(kSetupSection, "FromName", setup.FromName);
  store.Write(kSetupSection, "FromEmail", setup.FromEmail);
  store.Write(kSetupSection, "ToName", setup.ToName);
  store.Write(kSetupSection, "ToEmail", setup.ToEmail);
  store.Write(kSetupSection, "SMTPServer", setup.SMTPServer);
  store.Write(kSetupSection, "RecipientsPerMessage", setup.RecipientsPerMessage);
  store.WriteCheckState(kSetupSection, "LimitRecipientsPerMessage",
                        setup.LimitRecipientsPerMessage);
  store.WriteCheckState(kSetupSection, "CopyMessages", setup.CopyMessages);
}

}  // namespace verdanpost
