#ifndef VERDANPOST_CONSOLE_SETUP_FIRST_START_H_
#define VERDANPOST_CONSOLE_SETUP_FIRST_START_H_

#include "console/window/dialogs.h"

namespace verdanpost::setup {

// Gives a user without a "vestro" data source the default list database
// (SetUpDefaultDataSource) and says once, in a message box, what it created
// or why it could not. Says nothing when the data source exists.
void SetUpListDatabaseOnFirstStart(Dialogs& dialogs);

}  // namespace verdanpost::setup

#endif  // VERDANPOST_CONSOLE_SETUP_FIRST_START_H_
