#ifndef VERDANPOST_CONSOLE_SETTINGS_CONSOLE_VIEW_H_
#define VERDANPOST_CONSOLE_SETTINGS_CONSOLE_VIEW_H_

#include <QString>

#include "console/settings/message_definition.h"

namespace verdanpost {

// The controls that the settings handlers move values in and out of. The
// console window implements it; abstract so the handlers can be tested alone.
class ConsoleView {
 public:
  virtual ~ConsoleView() = default;

  // The message editor's controls (UseFile, UseText, FileName, SendRaw,
  // Subject, MessageText). Setting applies UseFile before UseText.
  virtual MessageDefinition EditorDefinition() const = 0;
  virtual void SetEditorDefinition(const MessageDefinition& definition) = 0;

  // The controls of the Setup page.
  virtual SetupSettings SetupValues() const = 0;
  virtual void SetSetupValues(const SetupSettings& setup) = 0;

  // The 1-based position of the selected tab of MessagesTabStrip, and the tag
  // (settings section) of the tab at a 1-based position.
  virtual int SelectedMessageTab() const = 0;
  virtual QString MessageTabTag(int tab) const = 0;

  // Shows or hides the member `index` (0-based) of the MessagesFrame array.
  virtual void SetMessagesFrameVisible(int index, bool visible) = 0;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_SETTINGS_CONSOLE_VIEW_H_
