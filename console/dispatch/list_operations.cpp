#include "console/dispatch/list_operations.h"

#include <utility>

#include "console/dispatch/bulk_send.h"
#include "console/dispatch/bulk_send_session.h"
#include "console/dispatch/list_addresses.h"
#include "console/dispatch/list_headers.h"
#include "console/dispatch/send_record.h"

namespace verdanpost {

ListOperations::ListOperations(OperationsView& view, MailerFactory& mailers,
                               std::string data_source)
    : view_(view),
      mailers_(mailers),
      data_source_(std::move(data_source)),
      subscription_(view, mailers, data_source_) {}

void ListOperations::Add_Click() { subscription_.Add_Click(); }

void ListOperations::Delete_Click() { subscription_.Delete_Click(); }

void ListOperations::SendMessage_Click() {
  // The button lies on the editor's first tab, so the editor holds the
  // definition of the message to the whole list.
  SendInBatches(
      view_, mailers_,
      [this](BulkSendJob* job, QString* err) {
        if (!PlanBulkSend([this] { return view_.CurrentSendInputs(); }, data_source_.c_str(), job,
                          err)) {
          return false;
        }
        if (ListHeadersWanted()) {
          job->list_headers = ListHeaderLines(job->inputs.setup.ToName, job->inputs.setup.ToEmail);
        }
        return true;
      },
      SendRecordFolder(),
      [this](std::vector<QString>* addresses, QString* err,
             const std::function<bool()>& cancelled) {
        return ReadListAddresses(data_source_.c_str(), addresses, err, cancelled);
      });
}

}  // namespace verdanpost
