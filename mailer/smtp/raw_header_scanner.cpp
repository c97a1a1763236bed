#include "mailer/smtp/raw_header_scanner.h"

#include <string_view>

#include "mailer/smtp/address_list.h"
#include "platform/ascii.h"

namespace verdanpost {
namespace {

// Field names match in any ASCII case, whatever the process's locale.
bool HasPrefix(std::string_view line, std::string_view prefix) {
  return line.size() >= prefix.size() &&
         EqualsIgnoreAsciiCase(line.substr(0, prefix.size()), prefix);
}

// Splits the value of an address field and, while the list goes on, the
// lines that follow it. An empty line ends the header, so it also ends the
// list instead of pulling the body in as addresses; `*header_ended` tells.
// Returns the file position after the last line that belongs to the field.
uint64_t ReadAddressField(MessageFile* file, std::string value, std::vector<std::string>* addresses,
                          bool* header_ended) {
  std::string line;
  uint64_t field_end = file->position();
  while (SplitAddressList(&value, addresses)) {
    bool more = ReadHeaderLine(file, &line);
    if (line.empty()) {
      *header_ended = true;
      break;
    }
    field_end = file->position();
    value = line;
    if (!more) {
      SplitAddressList(&value, addresses);
      break;
    }
  }
  return field_end;
}

}  // namespace

bool ReadHeaderLine(MessageFile* file, std::string* line) {
  line->clear();
  char c;
  while (file->ReadByte(&c)) {
    if (c == '\n') {
      if (!line->empty() && line->back() == '\r') line->pop_back();
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
  std::string line;
  uint64_t line_start = file->position();
  ReadHeaderLine(file, &line);
  for (;;) {
    bool recognised = true;
    bool header_ended = false;
    if (HasPrefix(line, "to:")) {
      ReadAddressField(file, line.substr(3), ignore_to ? &discarded : &header->recipients,
                       &header_ended);
    } else if (HasPrefix(line, "from:")) {
      header->sender = AddressOfEntry(line.substr(5));
    } else if (HasPrefix(line, "cc:")) {
      ReadAddressField(file, line.substr(3), &header->recipients, &header_ended);
    } else if (HasPrefix(line, "bcc:")) {
      // The range starts where the Bcc line itself starts, so lines of other
      // fields before it are still sent; a later Bcc field replaces it.
      header->bcc.start = line_start;
      header->bcc.end = ReadAddressField(file, line.substr(4), &header->recipients, &header_ended);
    } else {
      recognised = false;
      if (!line.empty() && !recognised_seen && line.find(':') == std::string::npos) {
        return Outcome::NoHeader();
      }
    }
    if (file->failed()) return Outcome::CannotOpenFile();
    recognised_seen = recognised_seen || recognised;
    if (header_ended) break;
    line_start = file->position();
    ReadHeaderLine(file, &line);
    if (file->failed()) return Outcome::CannotOpenFile();
    if (line.empty()) break;
  }
  return Outcome::Fine();
}

}  // namespace verdanpost
