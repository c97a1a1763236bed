#include "console/dispatch/list_operations.h"

#include "console/dispatch/bulk_send.h"
#include "console/mailinglist/list_database.h"
#include "console/window/console_window.h"
#include "console/window/dialogs.h"

namespace verdanpost {

ListOperations::ListOperations(ConsoleWindow& window) : window_(window), subscription_(window) {}

void ListOperations::Add_Click() { subscription_.Add_Click(); }

void ListOperations::Delete_Click() { subscription_.Delete_Click(); }

void ListOperations::SendMessage_Click() {
  // The button lies on the editor's first tab, so the editor holds the
  // definition of the message to the whole list.
  const auto read_inputs = [this] {
    return SendInputs{window_.EditorDefinition(), window_.SetupValues()};
  };
  window_.dialogs().ShowMessage(RunBulkSend(read_inputs, mailinglist::kDataSourceName));
}

}  // namespace verdanpost
