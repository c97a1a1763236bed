#ifndef VERDANPOST_CONSOLE_MAILINGLIST_CSV_FILE_H_
#define VERDANPOST_CONSOLE_MAILINGLIST_CSV_FILE_H_

// Comma-separated values as spreadsheets and RFC 4180 write them: fields in
// double quotes may hold the separator, doubled quotes and line breaks.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace verdanpost::mailinglist {

// One record of a CSV text and the line it starts on (from 1).
struct CsvRecord {
  int64_t line = 0;
  std::vector<std::string> fields;
};

// Reads the records of a whole CSV text held in memory. A UTF-8 byte-order
// mark is passed over; the separator is ";" when the first line holds more
// semicolons than commas outside quotes (as spreadsheets in many locales
// write), "," otherwise, unless |separator| names one. Lines end in CR LF or
// LF; blank lines are passed over. A quote inside an unquoted field, or after
// a closing quote, is kept as it stands. |text| must outlive the reader.
class CsvReader {
 public:
  explicit CsvReader(std::string_view text, char separator = 0);

  char separator() const { return separator_; }
  // The next record into *record; false at the end of the text, or when the
  // text ends inside a quoted field, which *err then tells (it stays empty
  // at a clean end).
  bool Next(CsvRecord* record, std::string* err);

 private:
  std::string_view text_;
  size_t position_ = 0;
  int64_t line_ = 1;
  char separator_ = ',';
};

// Where |text| first breaks UTF-8 (a byte that starts or continues no
// character, an overlong form, a surrogate): its line (from 1), or 0 when
// the whole text is UTF-8.
int64_t FirstNonUtf8Line(std::string_view text);

// Appends one record to *out, fields joined by |separator| and quoted where
// they hold "," or ";", a quote or a line break, ended by CR LF: a CsvReader
// with the same separator reads the same records back, and a first record of
// two fields or more tells it that separator. With
// |for_spreadsheet|, a field starting with "=", "+", "-" or "@" gets a
// leading "'" so that a spreadsheet shows it as text instead of running it
// as a formula.
void AppendCsvRecord(const std::vector<std::string>& fields, char separator, bool for_spreadsheet,
                     std::string* out);

}  // namespace verdanpost::mailinglist

#endif  // VERDANPOST_CONSOLE_MAILINGLIST_CSV_FILE_H_
