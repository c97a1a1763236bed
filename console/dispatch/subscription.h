#ifndef VERDANPOST_CONSOLE_DISPATCH_SUBSCRIPTION_H_
#define VERDANPOST_CONSOLE_DISPATCH_SUBSCRIPTION_H_

#include <string>
#include <utility>

#include <QString>

#include "console/dispatch/console_operations.h"
#include "console/dispatch/mailer_client.h"
#include "console/dispatch/operator_texts.h"

namespace verdanpost {

struct Recipient;
enum class StoredMessage;

// Subscribe (the Add page) and unsubscribe (the Remove page). A subscriber
// is added only once the greeting has gone out; a removal is logged and done
// before the farewell is sent, and stands whatever the mailer says. Each
// click reads the page's texts, leaves them as they were, and shows exactly
// one message box. `view` and `mailers` must outlive this object.
class Subscription {
 public:
  Subscription(OperationsView& view, MailerFactory& mailers, std::string data_source)
      : view_(view), mailers_(mailers), data_source_(std::move(data_source)) {}

  void Add_Click();
  void Delete_Click();

 private:
  // Each returns false with *err the text to show. Unsubscribe puts into
  // *note what the report must add on a line of its own, whatever the end.
  bool Subscribe(const AddPageInputs& inputs, QString* err);
  bool Unsubscribe(const RemovePageInputs& inputs, QString* note, QString* err);
  // Shows the editor tab `tab` (2 greeting, 3 farewell) with its definition,
  // the shown one saved first, and sends it to `to` unless CheckSendable
  // refuses it. `which` names the message in the report.
  bool SendFromTab(int tab, const Recipient& to, StoredMessage which, QString* err);

  OperationsView& view_;
  MailerFactory& mailers_;
  const std::string data_source_;
};

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_SUBSCRIPTION_H_
