#include "console/mailbox/check_mailbox_command.h"

#include <utility>

#include <QFrame>
#include <QPushButton>

#include "console/mailbox/farewells.h"
#include "console/mailbox/mailbox_texts.h"
#include "console/window/twips.h"
#include "mailer/smtp/server_settings.h"

namespace verdanpost::mailbox {

namespace {

constexpr int kRemovalTab = 3;

}  // namespace

CheckMailboxCommand::CheckMailboxCommand(OperationsView& view, MailerFactory& mailers,
                                         std::string data_source, LongWork long_work,
                                         MailboxOpener opener, std::string settings_path)
    : view_(view),
      mailers_(mailers),
      data_source_(std::move(data_source)),
      long_work_(std::move(long_work)),
      opener_(std::move(opener)),
      settings_path_(std::move(settings_path)) {}

void CheckMailboxCommand::CheckMailbox_Click() {
  const std::string list_address = view_.CurrentSendInputs().setup.ToEmail.trimmed().toStdString();
  const std::string path = settings_path_.empty() ? ServerSettingsPath() : settings_path_;
  CheckResult result;
  long_work_([&](CheckProgress& progress) {
    result = RunCheck(path, data_source_, list_address, opener_, &progress);
  });
  if (result.status != kCheckRead) {
    view_.ShowMessage(QString::fromStdString(result.error));
    return;
  }
  QString text = QString::fromStdString(SummaryText(result.summary));
  if (result.summary.cancelled) text += '\n' + QString(kCheckStopped);
  if (result.removals.empty()) {
    view_.ShowMessage(text);
    return;
  }
  // No keeps the findings in ListMail for a later check.
  if (!view_.AskMessage(text + '\n' +
                        QString::fromStdString(RemoveQuestion(result.removals.size())))) {
    return;
  }
  const RemovalResult removed = RemoveAll(data_source_, result.removals);
  QString failures;
  int sent = 0;
  if (!removed.farewells.empty()) {
    view_.OpenMessageTab(kRemovalTab);
    sent = SendFarewells(mailers_, view_.CurrentSendInputs(), removed.farewells, &failures);
  }
  view_.ShowMessage(RemovalReport(removed, sent, failures));
}

QPushButton* PlaceCheckMailboxButton(QWidget& window) {
  QWidget* page = window.findChild<QFrame*>(QStringLiteral("Frame(1)"));
  auto* button =
      new QPushButton(QStringLiteral("Check &Mailbox"), page != nullptr ? page : &window);
  button->setObjectName(QStringLiteral("CheckMailbox"));
  button->setGeometry(TwipsRect(3960, 3840, 1695, 375));
  if (auto* remove = window.findChild<QPushButton*>(QStringLiteral("Delete"))) {
    QWidget::setTabOrder(remove, button);
  }
  return button;
}

}  // namespace verdanpost::mailbox
