#ifndef VERDANPOST_CONSOLE_WINDOW_LIST_COMMANDS_H_
#define VERDANPOST_CONSOLE_WINDOW_LIST_COMMANDS_H_

#include <memory>
#include <string>

#include <QPointer>

#include "console/dispatch/console_operations.h"
#include "console/dispatch/mailer_client.h"
#include "console/dispatch/subscriber_table.h"
#include "console/dispatch/transfer_dialogs.h"
#include "console/window/list_command_buttons.h"
#include "console/window/subscribers_window.h"

class QWidget;

namespace verdanpost {

// The list as a whole, behind the window's Import..., Export... and
// Subscribers... buttons: bringing a CSV file in, taking the list out, and
// the subscribers window. Each command reports in one message box of
// |view|. |window|, |view|, |dialogs| and |mailers| must outlive it.
class ListCommands {
 public:
  ListCommands(QWidget& window, OperationsView& view, TransferDialogs& dialogs,
               MailerFactory& mailers, std::string data_source);
  ~ListCommands();

  void Import_Click();
  void Export_Click();
  // Opens the subscribers window, or brings it forward with the list read
  // again.
  void Subscribers_Click();

  SubscribersWindow* subscribers_window() const { return subscribers_window_; }

 private:
  QWidget& window_;
  OperationsView& view_;
  TransferDialogs& dialogs_;
  MailerFactory& mailers_;
  const std::string data_source_;
  std::unique_ptr<SubscriberTable> subscribers_;
  QPointer<SubscribersWindow> subscribers_window_;
};

// Makes each of |buttons| run its command of |commands|.
void ConnectListCommandButtons(const ListCommandButtons& buttons, ListCommands& commands);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_WINDOW_LIST_COMMANDS_H_
