#ifndef VERDANPOST_MAILER_SMTP_RAW_HEADER_SCANNER_H_
#define VERDANPOST_MAILER_SMTP_RAW_HEADER_SCANNER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "mailer/smtp/message_file.h"
#include "mailer/smtp/outcome.h"

namespace verdanpost {

// Byte offsets of one Bcc field of a raw file, all its lines: start
// inclusive, end exclusive. Both lie on line boundaries.
struct BccRange {
  uint64_t start = 0;
  uint64_t end = 0;
};

// The envelope of a raw message file and the parts of it left out when sent.
struct RawHeader {
  std::string sender;
  std::vector<std::string> recipients;
  // One range per Bcc field, in file order, never overlapping; empty when
  // the header has no Bcc field.
  std::vector<BccRange> bcc;
};

// Reads the next line of `file` into `*line`, without its line end. A line
// ends at LF, CR LF or a CR alone, just where the content encoder ends one,
// so a line read here is one line on the wire. True when the line had a line
// end, false at the end of the file (the line then holds what was read,
// possibly nothing).
bool ReadHeaderLine(MessageFile* file, std::string* line);

// Scans the header of a raw message file from its current position (the
// start). A line that begins with a blank or tab continues the field before
// it; an address list that ends with a comma also takes the next line unless
// that line is empty or starts a field of its own. Refuses with NoHeader when
// the file does not begin with a header and with CannotOpenFile when reading
// it fails. Leaves the file after the last line read.
Outcome ScanRawHeader(MessageFile* file, bool ignore_to, RawHeader* header);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_RAW_HEADER_SCANNER_H_
