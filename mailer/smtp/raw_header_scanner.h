#ifndef VERDANPOST_MAILER_SMTP_RAW_HEADER_SCANNER_H_
#define VERDANPOST_MAILER_SMTP_RAW_HEADER_SCANNER_H_

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "mailer/smtp/message_file.h"
#include "mailer/smtp/outcome.h"

namespace verdanpost {

// Byte offsets of a raw file's Bcc field: start inclusive, end exclusive.
// Both hold kNone when the file has no Bcc field, so no read reaches them.
struct BccRange {
  static constexpr uint64_t kNone = std::numeric_limits<uint64_t>::max();
  uint64_t start = kNone;
  uint64_t end = kNone;
};

// The envelope and Bcc range that the header of a raw message file yields.
struct RawHeader {
  std::string sender;
  std::vector<std::string> recipients;
  BccRange bcc;
};

// Reads the next line of `file` into `*line`, without its LF and without a
// CR right before that LF. True when the line ended with a LF, false at the
// end of the file (the line then holds what was read, possibly nothing).
bool ReadHeaderLine(MessageFile* file, std::string* line);

// Scans the header of a raw message file from its current position (the
// start). Refuses with NoHeader when the file does not begin with a header
// and with CannotOpenFile when reading it fails. Leaves the file after the
// last line read.
Outcome ScanRawHeader(MessageFile* file, bool ignore_to, RawHeader* header);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_RAW_HEADER_SCANNER_H_
