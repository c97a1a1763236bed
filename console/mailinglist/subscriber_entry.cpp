#include "console/mailinglist/subscriber_entry.h"

namespace verdanpost::mailinglist {

namespace {

// Whether |text| holds a control character; CR, LF and tab pass when
// |line_breaks_pass|. C1 characters are C2 80 to C2 9F in UTF-8, the line and
// paragraph separators E2 80 A8 and E2 80 A9.
bool HoldsControl(std::string_view text, bool line_breaks_pass) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      if (line_breaks_pass && (c == '\r' || c == '\n' || c == '\t')) continue;
      return true;
    }
    const auto next = [&](size_t k) {
      return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
    };
    if (c == 0xC2 && next(1) >= 0x80 && next(1) <= 0x9F) return true;
    if (c == 0xE2 && next(1) == 0x80 && (next(2) == 0xA8 || next(2) == 0xA9)) return true;
  }
  return false;
}

// The fault of |email|'s form, kNone when it has one "@" outside double
// quotes with text on both sides and no blank outside them.
EntryFault AddressFormFault(std::string_view email) {
  bool quoted = false;
  int ats = 0;
  size_t at = 0;
  for (size_t i = 0; i < email.size(); ++i) {
    const char c = email[i];
    if (quoted && c == '\\') {
      ++i;  // the escaped character is part of the quoted text
    } else if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      return EntryFault::kEmailBlank;
    } else if (!quoted && c == '@') {
      ++ats;
      at = i;
    }
  }
  if (ats != 1 || at == 0 || at + 1 == email.size()) return EntryFault::kEmailNotOneAt;
  return EntryFault::kNone;
}

}  // namespace

EntryFault SubscriberEntryFault(std::string_view name, std::string_view email,
                                std::string_view mailing_address) {
  if (HoldsControl(name, false)) return EntryFault::kNameControl;
  if (HoldsControl(email, false)) return EntryFault::kEmailControl;
  if (const EntryFault form = AddressFormFault(email); form != EntryFault::kNone) return form;
  if (HoldsControl(mailing_address, true)) return EntryFault::kMailingAddressControl;
  return EntryFault::kNone;
}

std::optional<std::string> SubscriberEntryRefusal(std::string_view name, std::string_view email,
                                                  std::string_view mailing_address) {
  switch (SubscriberEntryFault(name, email, mailing_address)) {
    case EntryFault::kNone:
      break;
    case EntryFault::kNameControl:
      return kNameHasControl;
    case EntryFault::kEmailControl:
      return kEmailHasControl;
    case EntryFault::kEmailNotOneAt:
      return kEmailNotOneAt;
    case EntryFault::kEmailBlank:
      return kEmailHasBlank;
    case EntryFault::kMailingAddressControl:
      return kMailingAddressHasControl;
  }
  return std::nullopt;
}

std::string AddressFoldedCase(std::string_view email) {
  std::string folded(email);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

}  // namespace verdanpost::mailinglist
