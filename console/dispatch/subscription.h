#ifndef VERDANPOST_CONSOLE_DISPATCH_SUBSCRIPTION_H_
#define VERDANPOST_CONSOLE_DISPATCH_SUBSCRIPTION_H_

#include <QString>

namespace verdanpost {

class ConsoleWindow;

// Texts of the subscribe and unsubscribe reports.
inline constexpr char kAlreadySubscribed[] = "A person with that e-mail address already exists!";
inline constexpr char kUserAdded[] = "User added and message sent :-)!";
inline constexpr char kUserNotFound[] = "User not found!";
inline constexpr char kUserRemoved[] = "User removed and message sent :-)!";
inline constexpr char kRemovedAnyway[] = "User removed anyway";

// Subscribe (the Add page) and unsubscribe (the Remove page). A subscriber
// is added only once the greeting has gone out; a removal is logged and done
// before the farewell is sent, and stands whatever the mailer says. Each
// click reads the page's texts, leaves them as they were, and shows exactly
// one message box. `window` must outlive this object.
class Subscription {
 public:
  explicit Subscription(ConsoleWindow& window) : window_(window) {}

  void Add_Click();
  void Delete_Click();

 private:
  // Each returns the text to show.
  QString Add();
  QString Delete();
  // Shows the editor tab `tab` (2 greeting, 3 farewell) with its definition,
  // the shown one saved first, and sends it to `name` and `email`. Returns
  // "" when the mailer reports success, else what to show.
  QString SendFromTab(int tab, const QString& name, const QString& email, const char* what);

  ConsoleWindow& window_;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_SUBSCRIPTION_H_
