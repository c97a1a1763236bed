#ifndef VERDANPOST_CONSOLE_DISPATCH_LIST_ADDRESSES_H_
#define VERDANPOST_CONSOLE_DISPATCH_LIST_ADDRESSES_H_

#include <functional>
#include <vector>

#include <QString>

namespace verdanpost {

// Reads the E-Mail of every MailingList row on `data_source` into *out, one
// entry per row in list order, a null address as "". The read is over and
// the connection closed when it returns, so no read holds the database while
// the messages go out. false with *err the text to show ("The mailing list
// could not be opened: " or "... read: " and the driver's message, or that
// the list did not answer within its time limit). |cancelled|, when given,
// is asked while the database is waited for; true ends the read
// (kListReadCancelled).
bool ReadListAddresses(const char* data_source, std::vector<QString>* out, QString* err,
                       const std::function<bool()>& cancelled = nullptr);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_LIST_ADDRESSES_H_
