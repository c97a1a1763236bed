#ifndef VERDANPOST_CONSOLE_DISPATCH_LIST_ADDRESSES_H_
#define VERDANPOST_CONSOLE_DISPATCH_LIST_ADDRESSES_H_

#include <vector>

#include <QString>

namespace verdanpost {

// Reads the E-Mail of every MailingList row on `data_source` into *out, one
// entry per row in list order, a null address as "". The read is over and
// the connection closed when it returns, so no read holds the database while
// the messages go out. false with *err the text to show ("The mailing list
// could not be opened: " or "... read: " and the driver's message).
bool ReadListAddresses(const char* data_source, std::vector<QString>* out, QString* err);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_LIST_ADDRESSES_H_
