#ifndef VERDANPOST_CONSOLE_MAILINGLIST_SUBSCRIBER_ENTRY_H_
#define VERDANPOST_CONSOLE_MAILINGLIST_SUBSCRIBER_ENTRY_H_

// The check every new subscriber passes before a greeting or a row: the same
// for an entry typed on the Add page and for a row of an imported file.

#include <optional>
#include <string>
#include <string_view>

namespace verdanpost::mailinglist {

// Why |name|, |email| and |mailing_address| (UTF-8) may not make a
// subscriber, or nullopt when they may:
// - the name or the address holds a control character (C0, DEL, C1) or a
//   Unicode line or paragraph separator, which would break a header line;
// - the mailing address holds one besides CR, LF and tab (it is stored,
//   never sent);
// - the address has not exactly one "@" with text on both sides, or holds a
//   blank outside double quotes ("a b"@example.org passes).
std::optional<std::string> SubscriberEntryRefusal(std::string_view name, std::string_view email,
                                                  std::string_view mailing_address);

// |email| with A to Z made lower case: two addresses that differ only in
// that name one subscriber.
std::string AddressFoldedCase(std::string_view email);

// The reasons, as SubscriberEntryRefusal gives them.
inline constexpr char kNameHasControl[] =
    "the name contains a line break or another control character";
inline constexpr char kEmailHasControl[] =
    "the e-mail address contains a line break or another control character";
inline constexpr char kMailingAddressHasControl[] =
    "the mailing address contains a control character other than a line break or tab";
inline constexpr char kEmailNotOneAt[] =
    "the e-mail address does not have exactly one @ with text on both sides";
inline constexpr char kEmailHasBlank[] = "the e-mail address contains a blank";

}  // namespace verdanpost::mailinglist

#endif  // VERDANPOST_CONSOLE_MAILINGLIST_SUBSCRIBER_ENTRY_H_
