#include "console/setup/first_start.h"

#include <string>

#include <QString>

#include "console/setup/default_data_source.h"

namespace verdanpost::setup {

namespace {

// What a new operator does before the first Add, under the news of the list.
constexpr char kFirstSteps[] =
    "\n\nFirst steps: on the Setup page, enter the From name and e-mail address and the SMTP "
    "server. On the Messages page, write the three messages: Send (to the whole list), Addition "
    "(the greeting to a new subscriber) and Removal (the farewell), each as text with Use Text "
    "or from a chosen file.";

}  // namespace

void SetUpListDatabaseOnFirstStart(Dialogs& dialogs) {
  const DefaultDataSourceResult result = SetUpDefaultDataSource();
  const std::string text = SetupMessage(result);
  if (text.empty()) return;
  QString shown = QString::fromStdString(text);
  if (result.outcome == DefaultDataSourceResult::Outcome::kCreated) shown += kFirstSteps;
  dialogs.ShowMessage(shown);
}

}  // namespace verdanpost::setup
