// Fuzzes the CSV reader with an arbitrary file held in memory. Properties:
// - the records start on lines that grow, none past the text's last line;
// - a text cut inside a quoted field is told, naming a line of the text;
// - every record read, written again with the reader's separator, reads
//   back with that separator as the same records (a field's quotes, marks
//   and line ends included); when the first record has two fields or more,
//   the written text tells that separator by itself;
// - FirstNonUtf8Line names a line of the text or 0.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "console/mailinglist/csv_file.h"
#include "testing/fuzz_check.h"

namespace verdanpost::mailinglist {
namespace {

// Every record of |text|; |*separator| names the separator, or is 0 to have
// it detected, and then tells the one detected.
std::vector<CsvRecord> ReadAll(std::string_view text, char* separator, std::string* err) {
  CsvReader reader(text, *separator);
  *separator = reader.separator();
  std::vector<CsvRecord> records;
  CsvRecord record;
  while (reader.Next(&record, err)) records.push_back(record);
  return records;
}

}  // namespace
}  // namespace verdanpost::mailinglist

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace verdanpost::mailinglist;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const int64_t lines = 1 + std::count(text.begin(), text.end(), '\n');
  FUZZ_CHECK(FirstNonUtf8Line(text) >= 0 && FirstNonUtf8Line(text) <= lines);

  char separator = 0;
  std::string err;
  const std::vector<CsvRecord> records = ReadAll(text, &separator, &err);
  int64_t last = 0;
  for (const CsvRecord& record : records) {
    FUZZ_CHECK(record.line > last && record.line <= lines);
    last = record.line;
  }
  if (!err.empty()) {
    FUZZ_CHECK(err.starts_with("the file ends inside the quoted field that starts on line "));
  }

  std::string written;
  for (const CsvRecord& record : records)
    AppendCsvRecord(record.fields, separator, false, &written);
  char again_separator = separator;
  std::string again_err;
  const std::vector<CsvRecord> again = ReadAll(written, &again_separator, &again_err);
  FUZZ_CHECK(again_err.empty());
  if (!records.empty() && records[0].fields.size() >= 2) {
    FUZZ_CHECK(CsvReader(written).separator() == separator);
  }
  FUZZ_CHECK(again.size() == records.size());
  for (size_t i = 0; i < again.size(); ++i) FUZZ_CHECK(again[i].fields == records[i].fields);
  return 0;
}
