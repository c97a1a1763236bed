// Fuzzes the raw header scan with the bytes of a message file (after a
// flags byte whose bit 0 is IgnoreTo), read from memory. Properties:
// - the scan accepts the file or refuses it as having no header;
// - the Bcc ranges are in file order, do not overlap, start and end on line
//   bounds (a CR LF is never cut in two), and each starts a Bcc field;
// - each holds its field whole: the line after it is no continuation (it
//   does not start with a blank or tab) and, when the field's addresses end
//   with a comma, it is empty or starts a field of its own;
// - every address in a Bcc range is a recipient;
// - what is sent, the file without its ranges (with the LF that the sender
//   adds after a bare CR before a range), has no Bcc field in its header,
//   neither by a reading made here nor by the scan itself (when it still
//   reads as a header).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mailer/smtp/address_list.h"
#include "mailer/smtp/raw_header_scanner.h"
#include "testing/fuzz_check.h"

namespace verdanpost {
namespace {

// A line of `bytes`: [start, end) without its line end, which ends at next.
struct Line {
  size_t start;
  size_t end;
  size_t next;
};

// The line at `at`; a line ends at LF, CR LF or a CR alone.
Line LineAt(std::string_view bytes, size_t at) {
  size_t end = bytes.find_first_of("\r\n", at);
  if (end == std::string_view::npos) return {at, bytes.size(), bytes.size()};
  size_t next = end + 1;
  if (bytes[end] == '\r' && next < bytes.size() && bytes[next] == '\n') ++next;
  return {at, end, next};
}

bool OnLineBound(std::string_view bytes, size_t at) {
  if (at == 0 || at == bytes.size()) return true;
  return bytes[at - 1] == '\n' || (bytes[at - 1] == '\r' && bytes[at] != '\n');
}

bool IsNameChar(char c) { return c > ' ' && c < 127 && c != ':'; }

// The length of the field name when `line` starts a field: a name, optional
// blanks or tabs, then ":". 0 when it does not.
size_t FieldName(std::string_view line, size_t* colon_at) {
  size_t name = 0;
  while (name < line.size() && IsNameChar(line[name])) ++name;
  size_t colon = name;
  while (colon < line.size() && (line[colon] == ' ' || line[colon] == '\t')) ++colon;
  if (name == 0 || colon == line.size() || line[colon] != ':') return 0;
  *colon_at = colon;
  return name;
}

bool StartsBcc(std::string_view line) {
  size_t colon = 0;
  if (FieldName(line, &colon) != 3) return false;
  std::string name(line.substr(0, 3));
  for (char& c : name) c = static_cast<char>(c | 0x20);
  return name == "bcc";
}

// The lines of the header of `bytes`, as a receiver reads it: up to the
// first empty line.
std::vector<Line> HeaderLines(std::string_view bytes) {
  std::vector<Line> lines;
  for (size_t at = 0; at < bytes.size();) {
    Line line = LineAt(bytes, at);
    if (line.start == line.end) break;
    lines.push_back(line);
    at = line.next;
  }
  return lines;
}

// The text of [start, end) with its line ends taken out.
std::string Unfolded(std::string_view bytes, size_t start, size_t end) {
  std::string text;
  for (size_t at = start; at < end;) {
    Line line = LineAt(bytes, at);
    text += bytes.substr(line.start, std::min(line.end, end) - line.start);
    at = line.next;
  }
  return text;
}

void CheckRanges(std::string_view bytes, const RawHeader& header) {
  size_t previous_end = 0;
  for (const BccRange& range : header.bcc) {
    FUZZ_CHECK(range.start < range.end && range.end <= bytes.size());
    FUZZ_CHECK(range.start >= previous_end);
    previous_end = range.end;
    FUZZ_CHECK(OnLineBound(bytes, range.start) && OnLineBound(bytes, range.end));
    const size_t start = range.start, end = range.end;
    Line first = LineAt(bytes, start);
    FUZZ_CHECK(StartsBcc(bytes.substr(first.start, first.end - first.start)));
    // Every address of the field is a recipient.
    std::string value = Unfolded(bytes, start, end);
    std::string list = value.substr(value.find(':') + 1);
    std::vector<std::string> addresses;
    bool goes_on = SplitAddressList(&list, &addresses);
    for (const std::string& address : addresses) {
      bool found = false;
      for (const std::string& r : header.recipients) found = found || r == address;
      FUZZ_CHECK(found);
    }
    // The field does not go on past the range.
    if (end == bytes.size()) continue;
    Line next = LineAt(bytes, end);
    std::string_view text = bytes.substr(next.start, next.end - next.start);
    FUZZ_CHECK(!text.starts_with(' ') && !text.starts_with('\t'));
    size_t colon;
    if (goes_on && !text.empty()) FUZZ_CHECK(FieldName(text, &colon) > 0);
  }
}

// The file as it is sent: without its ranges; a bare CR before a range gets
// its LF, so that a LF after the range does not join it.
std::string Sent(std::string_view bytes, const std::vector<BccRange>& ranges) {
  std::string sent;
  size_t at = 0;
  for (const BccRange& range : ranges) {
    sent += bytes.substr(at, range.start - at);
    if (!sent.empty() && sent.back() == '\r') sent += '\n';
    at = range.end;
  }
  sent += bytes.substr(at);
  return sent;
}

}  // namespace
}  // namespace verdanpost

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace verdanpost;
  if (size < 1) return 0;
  const bool ignore_to = data[0] & 1;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  MessageFile file;
  FUZZ_CHECK(file.OpenBytes(bytes));
  RawHeader header;
  Outcome outcome = ScanRawHeader(&file, ignore_to, &header);
  if (!outcome.ok()) {
    FUZZ_CHECK(outcome.code() == static_cast<int>(Outcome::Code::kNoHeader));
    return 0;
  }
  CheckRanges(bytes, header);
  const std::string sent = Sent(bytes, header.bcc);
  for (const Line& line : HeaderLines(sent)) {
    std::string_view text = std::string_view(sent).substr(line.start, line.end - line.start);
    if (StartsBcc(text)) FUZZ_CHECK_EQ(FuzzEscape(text), "");
  }
  MessageFile sent_file;
  FUZZ_CHECK(sent_file.OpenBytes(sent));
  RawHeader again;
  // Without its Bcc lines a header may no longer start like one. The scan
  // passes over an empty first line, where a receiver sees no header at all.
  if (ScanRawHeader(&sent_file, ignore_to, &again).ok() && LineAt(sent, 0).end > 0)
    FUZZ_CHECK(again.bcc.empty());
  return 0;
}
