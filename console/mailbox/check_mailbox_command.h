#ifndef VERDANPOST_CONSOLE_MAILBOX_CHECK_MAILBOX_COMMAND_H_
#define VERDANPOST_CONSOLE_MAILBOX_CHECK_MAILBOX_COMMAND_H_

#include <functional>
#include <string>

#include "console/dispatch/mailer_client.h"
#include "console/mailbox/mailbox_session.h"
#include "console/dispatch/console_operations.h"

class QPushButton;
class QWidget;

namespace verdanpost::mailbox {

// The window's Check Mailbox: reads the list's mailbox off the window's
// thread (through `long_work`, which shows its progress), then one box with
// the summary and, when the findings ask for removals, the question; Yes
// removes as Delete does and sends the farewell to those who asked to leave.
// `view` and `mailers` must outlive this object.
class CheckMailboxCommand {
 public:
  using LongWork = std::function<void(const std::function<void(CheckProgress&)>&)>;

  // `settings_path` empty: ServerSettingsPath() at each click.
  CheckMailboxCommand(OperationsView& view, MailerFactory& mailers, std::string data_source,
                      LongWork long_work, MailboxOpener opener = OpenImapMailbox,
                      std::string settings_path = std::string());

  void CheckMailbox_Click();

 private:
  OperationsView& view_;
  MailerFactory& mailers_;
  const std::string data_source_;
  const LongWork long_work_;
  const MailboxOpener opener_;
  const std::string settings_path_;
};

// Puts the button "Check Mailbox" (access key M) on the window's Remove
// page, after Delete in the focus order, and returns it.
QPushButton* PlaceCheckMailboxButton(QWidget& window);

}  // namespace verdanpost::mailbox

#endif  // VERDANPOST_CONSOLE_MAILBOX_CHECK_MAILBOX_COMMAND_H_
