#include "mailer/smtp/raw_header_scanner.h"

#include <string_view>

#include "mailer/smtp/address_list.h"
#include "platform/ascii.h"

namespace verdanpost {
namespace {

enum class FieldKind { kTo, kFrom, kCc, kBcc, kOther };

// One line of the header: its text without the line end, and the file
// positions of its first byte and of the byte after its line end.
struct HeaderLine {
  std::string text;
  uint64_t start = 0;
  uint64_t end = 0;
};

// The blanks that fold a field onto the next line and that may stand
// between a field name and its colon.
bool IsFoldingBlank(char c) { return c == ' ' || c == '\t'; }

// Field names are printable ASCII other than ":".
bool IsFieldNameChar(char c) { return c > ' ' && c < 127 && c != ':'; }

// The length of the field name when `line` starts a field (a name, optional
// blanks, then ":"), with `*value_at` set after the colon; 0 otherwise.
size_t FieldNameLength(std::string_view line, size_t* value_at) {
  size_t name = 0;
  while (name < line.size() && IsFieldNameChar(line[name])) ++name;
  size_t colon = name;
  while (colon < line.size() && IsFoldingBlank(line[colon])) ++colon;
  if (name == 0 || colon == line.size() || line[colon] != ':') return 0;
  *value_at = colon + 1;
  return name;
}

// Names match in any ASCII case, whatever the process's locale.
FieldKind KindOf(std::string_view line, size_t* value_at) {
  std::string_view name = line.substr(0, FieldNameLength(line, value_at));
  if (name.empty()) return FieldKind::kOther;
  if (EqualsIgnoreAsciiCase(name, "to")) return FieldKind::kTo;
  if (EqualsIgnoreAsciiCase(name, "from")) return FieldKind::kFrom;
  if (EqualsIgnoreAsciiCase(name, "cc")) return FieldKind::kCc;
  if (EqualsIgnoreAsciiCase(name, "bcc")) return FieldKind::kBcc;
  return FieldKind::kOther;
}

bool ReadLine(MessageFile* file, HeaderLine* line) {
  line->start = file->position();
  ReadHeaderLine(file, &line->text);
  line->end = file->position();
  return !file->failed();
}

// Follows an address list as lines are added to it, to tell whether it asks
// for the next line: it does while it is blank or ends with a comma, just
// when SplitAddressList would say it goes on. Looks at each byte once.
class ListEnd {
 public:
  void Add(std::string_view text) {
    for (size_t i = text.size(); i > 0; --i) {
      if (!IsBlank(text[i - 1])) {
        last_ = text[i - 1];
        seen_ = true;
        return;
      }
    }
  }
  bool goes_on() const { return !seen_ || last_ == ','; }

 private:
  char last_ = 0;
  bool seen_ = false;  // any byte other than a blank so far
};

}  // namespace

bool ReadHeaderLine(MessageFile* file, std::string* line) {
  line->clear();
  char c;
  while (file->ReadByte(&c)) {
    if (c == '\n') return true;
    if (c == '\r') {
      char next;
      if (file->PeekByte(&next) && next == '\n') file->ReadByte(&next);
      return true;
    }
    line->push_back(c);
  }
  return false;
}

Outcome ScanRawHeader(MessageFile* file, bool ignore_to, RawHeader* header) {
  *header = RawHeader();
  std::vector<std::string> discarded;  // To addresses under IgnoreTo
  bool recognised_seen = false;
  HeaderLine line;
  if (!ReadLine(file, &line)) return Outcome::CannotOpenFile();
  // The first line is examined even when it is empty; a later empty line
  // ends the header.
  for (bool first = true; first || !line.text.empty(); first = false) {
    size_t value_at = 0;
    FieldKind kind = KindOf(line.text, &value_at);
    if (kind == FieldKind::kOther && !line.text.empty() && !recognised_seen &&
        line.text.find(':') == std::string::npos) {
      return Outcome::NoHeader();
    }
    const bool is_list =
        kind == FieldKind::kTo || kind == FieldKind::kCc || kind == FieldKind::kBcc;
    const bool may_fold = !line.text.empty();  // an empty first line is no field
    const uint64_t field_start = line.start;
    uint64_t field_end = line.end;
    std::string value;
    ListEnd list_end;
    if (kind != FieldKind::kOther) {
      value = line.text.substr(value_at);
      list_end.Add(value);
    }
    for (;;) {
      if (!ReadLine(file, &line)) return Outcome::CannotOpenFile();
      if (line.text.empty()) break;
      bool folded = may_fold && IsFoldingBlank(line.text[0]);
      size_t unused;
      bool listed = is_list && list_end.goes_on() && FieldNameLength(line.text, &unused) == 0;
      if (!folded && !listed) break;
      if (kind != FieldKind::kOther) {
        // Unfolding drops the line end and keeps the blank, so an entry
        // folded after its display name still finds its address.
        value += line.text;
        list_end.Add(line.text);
      }
      field_end = line.end;
    }
    switch (kind) {
      case FieldKind::kTo:
        SplitAddressList(&value, ignore_to ? &discarded : &header->recipients);
        break;
      case FieldKind::kFrom:
        header->sender = AddressOfEntry(value);  // a later From replaces
        break;
      case FieldKind::kCc:
        SplitAddressList(&value, &header->recipients);
        break;
      case FieldKind::kBcc:
        // The range starts where the field's own first line starts, so lines
        // of other fields before it are still sent.
        SplitAddressList(&value, &header->recipients);
        header->bcc.push_back({field_start, field_end});
        break;
      case FieldKind::kOther:
        break;
    }
    recognised_seen = recognised_seen || kind != FieldKind::kOther;
  }
  return Outcome::Fine();
}

}  // namespace verdanpost
