#ifndef VERDANPOST_CONSOLE_MAILINGLIST_SUBSCRIBER_ENTRY_H_
#define VERDANPOST_CONSOLE_MAILINGLIST_SUBSCRIBER_ENTRY_H_

// The check every new subscriber passes before a greeting or a row: the same
// for an entry typed on the Add page and for a row of an imported file.

#include <optional>
#include <string>
#include <string_view>

namespace verdanpost::mailinglist {

// What keeps an entry from making a subscriber, first found first.
enum class EntryFault {
  kNone,
  // The name or the address holds a control character (C0, DEL, C1) or a
  // Unicode line or paragraph separator, which would break a header line.
  kNameControl,
  kEmailControl,
  // The address has not exactly one "@" outside double quotes with text
  // on both sides.
  kEmailNotOneAt,
  // The address holds a blank outside double quotes ("a b"@example.org
  // passes).
  kEmailBlank,
  // The mailing address holds a control character besides CR, LF and tab
  // (it is stored, never sent).
  kMailingAddressControl,
};

// The check of |name|, |email| and |mailing_address| (UTF-8) that Add makes
// of a typed entry and the import of each row.
EntryFault SubscriberEntryFault(std::string_view name, std::string_view email,
                                std::string_view mailing_address);

// The fault as the import's report gives it (the texts below), or nullopt.
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
