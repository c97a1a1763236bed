#include "console/settings/console_settings.h"

#include "console/settings/console_view.h"
#include "console/settings/message_definition.h"

namespace verdanpost {

ConsoleSettings::ConsoleSettings(QSettings& settings, ConsoleView& view)
    : store_(settings), view_(view) {}

std::optional<QString> ConsoleSettings::Form_Load() {
  std::optional<QString> trouble = store_.CheckFile();
  current_message_tab_ = 1;
  LoadMessageDefinition(QStringLiteral("Messages"));
  LoadSetupSettings();
  return trouble;
}

std::optional<QString> ConsoleSettings::Form_Unload() {
  SaveMessageDefinition(view_.MessageTabTag(current_message_tab_));
  SaveSetupSettings();
  return store_.Flush();
}

void ConsoleSettings::MessagesTabStrip_Click() {
  const int selected = view_.SelectedMessageTab();
  // Subscribe and unsubscribe call this right after selecting a tab, which
  // may already have run it: the second run must change nothing.
  if (selected == current_message_tab_) return;
  SaveMessageDefinition(view_.MessageTabTag(current_message_tab_));
  view_.SetMessagesFrameVisible(selected - 1, true);
  view_.SetMessagesFrameVisible(current_message_tab_ - 1, false);
  current_message_tab_ = selected;
  LoadMessageDefinition(view_.MessageTabTag(selected));
}

void ConsoleSettings::LoadMessageDefinition(const QString& section) {
  view_.SetEditorDefinition(ReadMessageDefinition(store_, section));
}

void ConsoleSettings::SaveMessageDefinition(const QString& section) {
  WriteMessageDefinition(store_, section, view_.EditorDefinition());
}

void ConsoleSettings::LoadSetupSettings() { view_.SetSetupValues(ReadSetupSettings(store_)); }

void ConsoleSettings::SaveSetupSettings() { WriteSetupSettings(store_, view_.SetupValues()); }

}  // namespace verdanpost
