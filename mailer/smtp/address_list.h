#ifndef VERDANPOST_MAILER_SMTP_ADDRESS_LIST_H_
#define VERDANPOST_MAILER_SMTP_ADDRESS_LIST_H_

#include <string>
#include <string_view>
#include <vector>

namespace verdanpost {

// True for the six blanks: space, tab, LF, VT, FF and CR.
bool IsBlank(char c);

// `text` without blanks at either end; a view into `text`.
std::string_view TrimBlanks(std::string_view text);

// Position of the first `wanted` outside double quotes, or npos. A quote that
// is never closed does not quote: then the first `wanted` after it counts, so
// a stray quote cannot swallow the rest of a list.
size_t FindUnquoted(std::string_view text, char wanted);

// The address of one list entry or sender text: when the entry holds a "<"
// outside a quoted display name, the characters after it up to the next ">"
// (empty when there is none); otherwise the entry itself. Trimmed.
std::string AddressOfEntry(std::string_view entry);

// Appends the addresses of `*list` to `*recipients` and consumes the list.
// Returns true when the list goes on in the next header line (the list is
// empty or ends with a comma), false when it is complete. Commas inside a
// double-quoted display name do not separate entries.
bool SplitAddressList(std::string* list, std::vector<std::string>* recipients);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_ADDRESS_LIST_H_
