#ifndef VERDANPOST_CONSOLE_DISPATCH_LIST_OPERATIONS_H_
#define VERDANPOST_CONSOLE_DISPATCH_LIST_OPERATIONS_H_

#include "console/dispatch/subscription.h"
#include "console/window/console_operations.h"

namespace verdanpost {

class ConsoleWindow;

// What the window's Add, Delete and Send Message buttons do: subscribe,
// unsubscribe and the bulk send, each reporting its outcome in exactly one
// message box. `window` must outlive this object.
class ListOperations : public ConsoleOperations {
 public:
  explicit ListOperations(ConsoleWindow& window);

  void Add_Click() override;
  void Delete_Click() override;
  void SendMessage_Click() override;

 private:
  ConsoleWindow& window_;
  Subscription subscription_;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_LIST_OPERATIONS_H_
