#ifndef VERDANPOST_CONSOLE_WINDOW_CONSOLE_OPERATIONS_H_
#define VERDANPOST_CONSOLE_WINDOW_CONSOLE_OPERATIONS_H_

namespace verdanpost {

// The operations behind the window's action buttons: subscribe (Add),
// unsubscribe (Delete) and the bulk send (SendMessage). The window calls them
// on its own thread and takes no input until they return; they read and
// write the controls through ConsoleWindow's public API.
class ConsoleOperations {
 public:
  virtual ~ConsoleOperations() = default;
  virtual void Add_Click() = 0;
  virtual void Delete_Click() = 0;
  virtual void SendMessage_Click() = 0;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_WINDOW_CONSOLE_OPERATIONS_H_
