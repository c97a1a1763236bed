#ifndef VERDANPOST_MAILER_SMTP_INI_LINES_H_
#define VERDANPOST_MAILER_SMTP_INI_LINES_H_

#include <functional>
#include <string_view>

namespace verdanpost {

// Called once per Key = Value line, in file order, with the section it stands
// in ("" before the first one). The views point into the text being read.
using IniEntryHandler =
    std::function<void(std::string_view section, std::string_view key, std::string_view value)>;

// Reads the lines of an INI file held in memory. Every line stands alone:
// blanks at either end mean nothing, so an indented line is never part of the
// line before it, and a line may be of any length. Returns 0, or the number
// (from 1) of the first line that is not a [section], a Key = Value line or a
// comment; the lines after it are still read.
int ReadIniLines(std::string_view text, const IniEntryHandler& on_entry);

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_INI_LINES_H_
