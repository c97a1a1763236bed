#ifndef VERDANPOST_CONSOLE_DISPATCH_LIST_OPERATIONS_H_
#define VERDANPOST_CONSOLE_DISPATCH_LIST_OPERATIONS_H_

#include <string>

#include "console/dispatch/console_operations.h"
#include "console/dispatch/mailer_client.h"
#include "console/dispatch/subscription.h"

namespace verdanpost {

// What the window's Add, Delete and Send Message buttons do: subscribe,
// unsubscribe and the bulk send on the list behind `data_source`, each
// reporting its outcome in exactly one message box of `view` (the bulk send
// asks first, and may ask to follow up), with a mailer
// made by `mailers` for each click. `view` and `mailers` must outlive this
// object.
class ListOperations : public ConsoleOperations {
 public:
  ListOperations(OperationsView& view, MailerFactory& mailers, std::string data_source);

  void Add_Click() override;
  void Delete_Click() override;
  void SendMessage_Click() override;

 private:
  OperationsView& view_;
  MailerFactory& mailers_;
  const std::string data_source_;
  Subscription subscription_;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_LIST_OPERATIONS_H_
