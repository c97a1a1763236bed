#include "testing/message_stamp_mask.h"

#include <regex>

namespace verdanpost::testing_support {

std::string MaskStamp(const std::string& message) {
  static const std::regex kDate(
      "(^|\r\n)Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), [0-3][0-9] "
      "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [0-9]{4} "
      "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] [+-][0-9]{4}\r\n");
  static const std::regex kMessageId(
      "(^|\r\n)Message-ID: <[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9a-f]{16}@");
  size_t end = message.find("\r\n\r\n");
  end = end == std::string::npos ? message.size() : end + 2;
  std::string header = message.substr(0, end);
  header = std::regex_replace(header, kDate, "$1Date: DATE\r\n",
                              std::regex_constants::format_first_only);
  header = std::regex_replace(header, kMessageId, "$1Message-ID: <ID@",
                              std::regex_constants::format_first_only);
  return header + message.substr(end);
}

}  // namespace verdanpost::testing_support
