#include "console/window/list_commands.h"

#include <cstdint>
#include <utility>

#include <QPushButton>
#include <QWidget>

#include "console/dispatch/import_greeter.h"
#include "console/dispatch/list_command_texts.h"
#include "console/dispatch/operator_texts.h"
#include "console/mailinglist/list_export.h"
#include "console/mailinglist/list_import.h"

namespace verdanpost {

namespace {

constexpr int kAdditionTab = 2;

}  // namespace

ListCommands::ListCommands(QWidget& window, OperationsView& view, TransferDialogs& dialogs,
                           MailerFactory& mailers, std::string data_source)
    : window_(window),
      view_(view),
      dialogs_(dialogs),
      mailers_(mailers),
      data_source_(std::move(data_source)) {}

ListCommands::~ListCommands() { delete subscribers_window_; }

void ListCommands::Import_Click() {
  const std::optional<ImportRequest> request = dialogs_.ChooseImportFile();
  if (!request) return;

  std::unique_ptr<MailerGreeter> greeter;
  if (request->greet) {
    // As Add: the editor shows the greeting, which is what goes out.
    view_.OpenMessageTab(kAdditionTab);
    QString why;
    greeter = MailerGreeter::Create(mailers_, view_.CurrentSendInputs(), &why);
    if (greeter == nullptr) {
      view_.ShowMessage(kNoGreeting + why);
      return;
    }
  }
  mailinglist::ListConnection list;
  if (mailinglist::Status status = list.Open(data_source_); !status.ok()) {
    view_.ShowMessage(kListNotOpened + QString::fromStdString(status.message()));
    return;
  }
  mailinglist::ImportOptions options;
  options.greeter = greeter.get();
  options.progress = [this](int64_t done, int64_t rows) {
    return dialogs_.ImportProgress(done, rows);
  };
  mailinglist::ImportOutcome outcome;
  const mailinglist::Status status =
      mailinglist::ImportSubscribers(list, request->path.toStdString(), options, &outcome);
  greeter.reset();
  list.Close();
  dialogs_.ImportEnded();
  QString report = QString::fromStdString(status.message());
  if (status.ok() || outcome.added > 0) {
    if (!report.isEmpty()) report += '\n';
    report += QString::fromStdString(mailinglist::ImportSummary(outcome, false));
  }
  view_.ShowMessage(report);
  if (subscribers_window_ != nullptr && subscribers_window_->isVisible()) {
    subscribers_window_->Refresh();
  }
}

void ListCommands::Export_Click() {
  const std::optional<ExportRequest> request = dialogs_.ChooseExportFile();
  if (!request) return;
  mailinglist::ListConnection list;
  mailinglist::Status status = list.Open(data_source_);
  if (!status.ok()) {
    view_.ShowMessage(kListNotOpened + QString::fromStdString(status.message()));
    return;
  }
  int64_t rows = 0;
  status = mailinglist::ExportList(list, request->path.toStdString(),
                                   {request->removed, request->for_spreadsheet}, &rows);
  list.Close();
  if (!status.ok()) {
    view_.ShowMessage(QString::fromStdString(status.message()));
    return;
  }
  view_.ShowMessage(Exported(QString::fromStdString(mailinglist::GroupedNumber(rows)), rows == 1,
                             request->removed, request->path));
}

void ListCommands::Subscribers_Click() {
  if (subscribers_window_ == nullptr) {
    subscribers_ = std::make_unique<SubscriberTable>(view_, mailers_, data_source_);
    subscribers_window_ = new SubscribersWindow(*subscribers_, &window_);
  }
  subscribers_window_->Refresh();
  subscribers_window_->show();
  subscribers_window_->raise();
  subscribers_window_->activateWindow();
}

void ConnectListCommandButtons(const ListCommandButtons& buttons, ListCommands& commands) {
  QObject::connect(buttons.import, &QPushButton::clicked, [&commands] { commands.Import_Click(); });
  QObject::connect(buttons.export_list, &QPushButton::clicked,
                   [&commands] { commands.Export_Click(); });
  QObject::connect(buttons.subscribers, &QPushButton::clicked,
                   [&commands] { commands.Subscribers_Click(); });
}

}  // namespace verdanpost
