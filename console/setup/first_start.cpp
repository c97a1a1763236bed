#include "console/setup/first_start.h"

#include <string>

#include <QString>

#include "console/setup/default_data_source.h"

namespace verdanpost::setup {

void SetUpListDatabaseOnFirstStart(Dialogs& dialogs) {
  const std::string text = SetupMessage(SetUpDefaultDataSource());
  if (!text.empty()) dialogs.ShowMessage(QString::fromStdString(text));
}

}  // namespace verdanpost::setup
