// Fuzzes the address-list splitter and the header builder with the arguments
// of a send call. An input is the flags byte (bit 0: IgnoreTo), then From,
// To, Cc, Bcc, Subject and the body, separated by the byte 0x1E.
// Properties:
// - the splitter gives trimmed addresses taken from the list, no more than
//   its entries, and says the list goes on just when it is empty or ends
//   with a comma;
// - the call is refused with 50, 51, 55, 52, 53 or 54 exactly when the
//   arguments hold what that code refuses (in that order), and every
//   envelope address of an accepted call holds no control character, no
//   "<" or ">", and no blank outside a pair of double quotes;
// - a built header ends each line with CR LF and has no other CR or LF; it
//   ends at its one empty line; every other line either continues a field
//   (starts with a blank and holds more) or starts one of the fields asked
//   for, in order; no line with an encoded word passes 78 characters;
// - the Subject, From, To and Cc fields, unfolded and with their encoded
//   words decoded, read back as the text passed (display names without
//   their quotes and escapes);
// - the Message-ID's domain cannot end the field or the id early.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mailer/smtp/address_list.h"
#include "mailer/smtp/header_builder.h"
#include "mailer/smtp/message_stamp.h"
#include "mailer/smtp/text_kind.h"
#include "testing/fuzz_check.h"

namespace verdanpost {
namespace {

using List = std::vector<std::string>;

constexpr std::string_view kBlanks = " \t\n\v\f\r";
constexpr std::string_view kWordStart = "=?UTF-8?B?";

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

std::string_view Trim(std::string_view s) {
  size_t begin = s.find_first_not_of(kBlanks);
  if (begin == std::string_view::npos) return {};
  return s.substr(begin, s.find_last_not_of(kBlanks) + 1 - begin);
}

// The rule of code 54: no control character, "<" or ">" anywhere, and a
// blank only inside a pair of double quotes (a quote never closed does not
// quote; inside quotes a backslash takes the next byte as it is).
bool PassesAddressRule(std::string_view address) {
  for (unsigned char c : address) {
    if (c < 0x20 || c == 0x7F || c == '<' || c == '>') return false;
  }
  std::vector<bool> quoted(address.size(), false);
  size_t open = std::string_view::npos;
  for (size_t i = 0; i < address.size(); ++i) {
    if (open != std::string_view::npos && address[i] == '\\') {
      ++i;
    } else if (address[i] == '"') {
      if (open == std::string_view::npos) {
        open = i;
      } else {
        for (size_t k = open; k <= i; ++k) quoted[k] = true;
        open = std::string_view::npos;
      }
    }
  }
  for (size_t i = 0; i < address.size(); ++i) {
    if (address[i] == ' ' && !quoted[i]) return false;
  }
  return true;
}

// Splits `list` and checks the splitter's own properties.
bool SplitChecked(std::string_view list, List* recipients) {
  std::string consumed(list);
  size_t before = recipients->size();
  bool goes_on = SplitAddressList(&consumed, recipients);
  FUZZ_CHECK(consumed.empty());
  std::string_view trimmed = Trim(list);
  FUZZ_CHECK(goes_on == (trimmed.empty() || trimmed.back() == ','));
  size_t commas = 0;
  for (char c : list) commas += c == ',';
  FUZZ_CHECK(recipients->size() - before <= commas + 1);
  for (size_t i = before; i < recipients->size(); ++i) {
    const std::string& address = (*recipients)[i];
    FUZZ_CHECK(list.find(address) != std::string_view::npos);
    FUZZ_CHECK(Trim(address) == address);
  }
  return goes_on;
}

// The code CheckArguments must give: 0 for an accepted call.
int ExpectedCode(const MessageArguments& args, bool ignore_to) {
  if (args.from.empty()) return 50;
  if (args.to.empty()) return 51;
  if (ignore_to && args.cc.empty() && args.bcc.empty()) return 55;
  for (const std::string* s : {&args.from, &args.to, &args.cc, &args.bcc}) {
    if (HasLineBreak(*s)) return 52;
  }
  if (HasLineBreak(args.subject)) return 53;
  List envelope{AddressOfEntry(args.from)};
  if (!ignore_to) SplitChecked(args.to, &envelope);
  SplitChecked(args.cc, &envelope);
  SplitChecked(args.bcc, &envelope);
  for (const std::string& address : envelope) {
    if (!PassesAddressRule(address)) return 54;
  }
  return 0;
}

std::string DecodeBase64(std::string_view text) {
  static constexpr std::string_view kDigits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  FUZZ_CHECK(text.size() % 4 == 0);
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    size_t digit = kDigits.find(c);
    FUZZ_CHECK(digit != std::string_view::npos);
    bits = (bits << 6) | static_cast<uint32_t>(digit);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

// An unfolded field value with its encoded words decoded; the one blank
// between two encoded words goes, as readers drop it.
std::string DecodeWords(std::string_view value) {
  std::string out;
  bool after_word = false;
  for (size_t i = 0; i < value.size();) {
    size_t end = std::string_view::npos;
    if (value.substr(i).starts_with(kWordStart)) end = value.find("?=", i + kWordStart.size());
    if (end != std::string_view::npos) {
      std::string_view word = value.substr(i, end + 2 - i);
      FUZZ_CHECK(word.size() <= 75);
      if (after_word && out.ends_with(' ')) out.pop_back();
      out += DecodeBase64(value.substr(i + kWordStart.size(), end - i - kWordStart.size()));
      i = end + 2;
      after_word = true;
      continue;
    }
    if (value[i] != ' ') after_word = false;
    out += value[i++];
  }
  return out;
}

std::string DisplayNameText(std::string_view phrase) {
  std::string text;
  bool quoted = false;
  for (size_t i = 0; i < phrase.size(); ++i) {
    if (phrase[i] == '"') {
      quoted = !quoted;
    } else if (quoted && phrase[i] == '\\' && i + 1 < phrase.size()) {
      text += phrase[++i];
    } else {
      text += phrase[i];
    }
  }
  return text;
}

// What an address field's value reads as: each entry as passed (trimmed),
// or, when its display name goes beyond ASCII, the name's text and then
// the "<" part; entries joined by "," and a blank.
std::string ExpectedListText(std::string_view list) {
  if (IsAscii(list)) return " " + std::string(list);
  std::string out;
  for (;;) {
    size_t comma = FindUnquoted(list, ',');
    std::string_view entry = Trim(list.substr(0, comma));
    std::string text(entry);
    size_t open = FindUnquoted(entry, '<');
    if (open != std::string_view::npos && !IsAscii(Trim(entry.substr(0, open)))) {
      text = DisplayNameText(Trim(entry.substr(0, open))) + " " + std::string(entry.substr(open));
    }
    if (comma != std::string_view::npos) text += ',';
    if (!text.empty()) out += " " + text;
    if (comma == std::string_view::npos) return out;
    list.remove_prefix(comma + 1);
  }
}

struct Field {
  std::string name;
  std::string value;             // unfolded: the line ends before continuation lines taken out
  size_t longest_word_line = 0;  // the longest line that holds an encoded word
};

// Splits a built header into its fields, checking its lines on the way.
std::vector<Field> CheckLines(const std::string& header) {
  std::vector<Field> fields;
  size_t at = 0;
  for (;;) {
    size_t end = header.find("\r\n", at);
    FUZZ_CHECK(end != std::string::npos);
    std::string_view line = std::string_view(header).substr(at, end - at);
    FUZZ_CHECK(line.find_first_of("\r\n") == std::string_view::npos);
    at = end + 2;
    if (line.empty()) break;
    if (line[0] == ' ' || line[0] == '\t') {
      FUZZ_CHECK(!fields.empty());
      FUZZ_CHECK(line.find_first_not_of(" \t") != std::string_view::npos);
      fields.back().value += line;
      if (line.find(kWordStart) != std::string_view::npos)
        fields.back().longest_word_line = std::max(fields.back().longest_word_line, line.size());
      continue;
    }
    size_t colon = line.find(':');
    FUZZ_CHECK(colon != std::string_view::npos);
    fields.push_back({std::string(line.substr(0, colon)), std::string(line.substr(colon + 1)),
                      line.find(kWordStart) == std::string_view::npos ? 0 : line.size()});
  }
  FUZZ_CHECK(at == header.size());  // the empty line ends the header
  return fields;
}

void CheckHeader(const MessageArguments& args, TextKind body) {
  const MessageStamp stamp{"Mon, 07 Dec 2026 15:20:03 +0100", "<1.2.3@x.org>"};
  const std::string header = BuildHeader(args, body, stamp);
  std::vector<Field> fields = CheckLines(header);
  List names;
  for (const Field& field : fields) names.push_back(field.name);
  List expected{"From", "To"};
  if (!args.cc.empty()) expected.push_back("Cc");
  if (!args.subject.empty()) expected.push_back("Subject");
  expected.insert(expected.end(), {"Date", "Message-ID"});
  bool plain = body == TextKind::kAscii && IsAscii(args.from) && IsAscii(args.to) &&
               IsAscii(args.cc) && IsAscii(args.subject);
  if (!plain && body != TextKind::kOther)
    expected.insert(expected.end(), {"MIME-Version", "Content-Type", "Content-Transfer-Encoding"});
  FUZZ_CHECK(names == expected);
  for (const Field& field : fields) {
    const std::string* passed = field.name == "From"      ? &args.from
                                : field.name == "To"      ? &args.to
                                : field.name == "Cc"      ? &args.cc
                                : field.name == "Subject" ? &args.subject
                                                          : nullptr;
    // Text that already looks like an encoded word would read as one.
    if (passed == nullptr || passed->find("=?") != std::string::npos) continue;
    FUZZ_CHECK(field.longest_word_line <= 78);
    if (field.name == "Subject") {
      FUZZ_CHECK_EQ(DecodeWords(field.value), " " + args.subject);
    } else {
      FUZZ_CHECK_EQ(DecodeWords(field.value), ExpectedListText(*passed));
    }
  }
}

std::vector<std::string_view> Parts(std::string_view input, size_t count) {
  std::vector<std::string_view> parts;
  for (size_t i = 0; i + 1 < count; ++i) {
    size_t end = input.find('\x1E');
    parts.push_back(input.substr(0, end));
    input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
  }
  parts.push_back(input);
  return parts;
}

}  // namespace
}  // namespace verdanpost

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace verdanpost;
  if (size < 1) return 0;
  const bool ignore_to = data[0] & 1;
  std::vector<std::string_view> parts =
      Parts(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), 6);
  const MessageArguments args{std::string(parts[0]), std::string(parts[1]), std::string(parts[2]),
                              std::string(parts[3]), std::string(parts[4])};
  List recipients;
  Outcome outcome = CheckArguments(args, ignore_to, &recipients);
  const int expected = ExpectedCode(args, ignore_to);
  FUZZ_CHECK(outcome.ok() == (expected == 0));
  if (!outcome.ok()) {
    FUZZ_CHECK(outcome.code() == expected);
    return 0;
  }
  for (const std::string& address : recipients) FUZZ_CHECK(PassesAddressRule(address));
  const std::string domain = MessageIdDomain(AddressOfEntry(args.from), "localhost");
  FUZZ_CHECK(!domain.empty() && domain.find_first_of("<>@ ") == std::string::npos);
  for (unsigned char ch : domain) FUZZ_CHECK(ch > 0x20 && ch < 0x7F);
  CheckHeader(args, KindOfText(parts[5]));
  return 0;
}
