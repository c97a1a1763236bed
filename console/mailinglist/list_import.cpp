#include "console/mailinglist/list_import.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "console/mailinglist/csv_file.h"
#include "console/mailinglist/subscriber_entry.h"
#include "platform/database/packed_row.h"
#include "platform/database/query.h"
#include "platform/database/write_lock.h"

namespace verdanpost::mailinglist {

namespace {

using database::Parameter;
using database::Value;

constexpr int64_t kRowsPerTransaction = 1000;
// Rows per INSERT statement: 600 parameters, within every SQLite's limit.
constexpr size_t kRowsPerStatement = 100;

// The columns an import writes, in the order of Row's values.
const std::vector<std::string>& WrittenColumns() {
  static const std::vector<std::string> columns = {"Name",    "E-Mail",      "MailingAddress",
                                                   "BraSize", "DateCreated", "IPAddress"};
  return columns;
}

enum Column { kName, kEmail, kMailingAddress, kBraSize, kDateCreated, kIPAddress, kColumns };

struct Row {
  int64_t line = 0;
  std::vector<std::string> fields;  // as the file has them, for the report
  // Each Column's field, or an empty text when the file has no such column.
  const std::string* values[kColumns];
  int64_t bra_size = 0;
};

struct Skipped {
  int64_t line;
  std::string reason;
  std::vector<std::string> fields;
};

bool SameAsciiFolded(std::string_view a, std::string_view b) {
  return AddressFoldedCase(a) == AddressFoldedCase(b);
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

Status ReadWholeFile(const std::string& path, std::string* text) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    return Status::Error("Cannot read \"" + path + "\": " + std::strerror(errno) + ".");
  }
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) text->append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  if (failed) return Status::Error("Cannot read \"" + path + "\": " + std::strerror(error) + ".");
  return Status::OK();
}

// The file's rows, with the header's columns mapped to Column.
struct ParsedFile {
  std::vector<std::string> header;
  int where[kColumns];  // field index of each Column, -1 when absent
  std::vector<Row> rows;
};

Status ParseFile(const std::string& path, const std::string& text, ParsedFile* parsed,
                 std::vector<std::string>* ignored) {
  static const char* const kNames[kColumns] = {"Name",    "E-Mail",      "MailingAddress",
                                               "BraSize", "DateCreated", "IPAddress"};
  if (const int64_t line = FirstNonUtf8Line(text); line != 0) {
    return Status::Error("\"" + path + "\" is not UTF-8 text (line " + std::to_string(line) +
                         "); save it as CSV in UTF-8 and try again.");
  }
  CsvReader reader(text);
  CsvRecord record;
  std::string err;
  if (!reader.Next(&record, &err)) {
    return Status::Error("\"" + path + "\" " + (err.empty() ? "is empty" : err) + ".");
  }
  parsed->header = record.fields;
  std::fill(std::begin(parsed->where), std::end(parsed->where), -1);
  for (size_t i = 0; i < record.fields.size(); ++i) {
    const std::string_view name = Trimmed(record.fields[i]);
    bool taken = false;
    for (int c = 0; c < kColumns && !taken; ++c) {
      if (parsed->where[c] < 0 && SameAsciiFolded(name, kNames[c])) {
        parsed->where[c] = static_cast<int>(i);
        taken = true;
      }
    }
    if (!taken && !name.empty()) ignored->emplace_back(name);
  }
  if (parsed->where[kEmail] < 0) {
    return Status::Error("\"" + path + "\" has no E-Mail column in its first line.");
  }
  while (reader.Next(&record, &err)) {
    static const std::string kEmpty;
    Row& row = parsed->rows.emplace_back();
    row.line = record.line;
    row.fields = std::move(record.fields);
    for (int c = 0; c < kColumns; ++c) {
      const int at = parsed->where[c];
      const bool present = at >= 0 && static_cast<size_t>(at) < row.fields.size();
      row.values[c] = present ? &row.fields[at] : &kEmpty;
    }
  }
  if (!err.empty()) return Status::Error("\"" + path + "\": " + err + ".");
  return Status::OK();
}

// Why |row| cannot be a subscriber, or nullopt; reads its BraSize.
std::optional<std::string> RowRefusal(Row& row) {
  if (std::optional<std::string> refusal = SubscriberEntryRefusal(
          *row.values[kName], *row.values[kEmail], *row.values[kMailingAddress])) {
    return refusal;
  }
  const std::string_view bra = Trimmed(*row.values[kBraSize]);
  if (!bra.empty()) {
    const auto [end, error] = std::from_chars(bra.data(), bra.data() + bra.size(), row.bra_size);
    if (error != std::errc() || end != bra.data() + bra.size() || row.bra_size < -32768 ||
        row.bra_size > 32767) {
      return kBraSizeNotNumber;
    }
  }
  return std::nullopt;
}

// Writes |rows| to MailingList, kRowsPerStatement to a statement.
Status WriteRows(ListConnection& list, const std::vector<const Row*>& rows) {
  database::Connection& connection = *list.get();
  std::string columns;
  for (const std::string& name : WrittenColumns()) {
    columns += (columns.empty() ? "" : ", ") + connection.Quote(name);
  }
  const std::string now = CurrentDateTimeText();
  for (size_t first = 0; first < rows.size(); first += kRowsPerStatement) {
    const size_t count = std::min(kRowsPerStatement, rows.size() - first);
    std::string sql =
        "INSERT INTO " + connection.Quote(kMailingList) + " (" + columns + ") VALUES ";
    std::vector<Parameter> parameters;
    parameters.reserve(count * kColumns);
    for (size_t i = 0; i < count; ++i) {
      const Row& row = *rows[first + i];
      sql += i == 0 ? "(?, ?, ?, ?, ?, ?)" : ", (?, ?, ?, ?, ?, ?)";
      const std::string& date = *row.values[kDateCreated];
      const std::string& ip = *row.values[kIPAddress];
      parameters.push_back({Value::Text(*row.values[kName])});
      parameters.push_back({Value::Text(*row.values[kEmail])});
      parameters.push_back({Value::Text(*row.values[kMailingAddress])});
      parameters.push_back({Value::Integer(row.bra_size)});
      parameters.push_back({Value::Text(date.empty() ? now : date)});
      parameters.push_back({Value::Text(ip.empty() ? std::string(kConsoleIPAddress) : ip)});
    }
    if (Status status = database::ExecuteChange(connection, sql, parameters, nullptr);
        !status.ok()) {
      return status;
    }
  }
  return Status::OK();
}

// The folded addresses of |rows| that MailingList holds now, in any case:
// added since the import read the list.
Status TakenMeanwhile(ListConnection& list, const std::vector<const Row*>& rows,
                      std::unordered_set<std::string>* taken) {
  const database::Connection& connection = *list.get();
  const std::string column = connection.Quote("E-Mail");
  // One IN list a statement, folded as the dialect folds the address's
  // index (SQLite's NOCASE, PostgreSQL's lower()), so that the index serves.
  std::string value = "?";
  switch (connection.dialect().kind()) {
    case database::Dialect::kSQLite:
      break;
    case database::Dialect::kPostgreSQL:
      value = "lower(?)";
      break;
    case database::Dialect::kOther:
      value = "UPPER(?)";
      break;
  }
  for (size_t first = 0; first < rows.size(); first += kRowsPerStatement) {
    const size_t count = std::min(kRowsPerStatement, rows.size() - first);
    std::string sql = "SELECT " + column + " FROM " + connection.Quote(kMailingList) + " WHERE " +
                      connection.dialect().CaseFolded(column) + " IN (";
    std::vector<Parameter> parameters;
    for (size_t i = 0; i < count; ++i) {
      sql += (i == 0 ? "" : ", ") + value;
      parameters.push_back({Value::Text(*rows[first + i]->values[kEmail])});
    }
    sql += ")";
    std::vector<std::string> found;
    if (Status status = database::QueryRows(connection, sql, parameters, &found); !status.ok()) {
      return status;
    }
    for (const std::string& packed : found) {
      taken->insert(AddressFoldedCase(database::UnpackField(packed, 0).value_or(std::string())));
    }
  }
  return Status::OK();
}

// Greets the rows of |group| (all of them when there is no greeter), writes
// those greeted in one transaction, and lists the others in *skipped.
Status AddGroup(ListConnection& list, const std::vector<Row*>& group, const ImportOptions& options,
                ImportOutcome* outcome, std::vector<Skipped>* skipped) {
  std::vector<const Row*> accepted;
  accepted.reserve(group.size());
  for (const Row* row : group) {
    std::string why;
    if (options.greeter != nullptr && !options.dry_run &&
        !options.greeter->Greet(*row->values[kName], *row->values[kEmail], &why)) {
      ++outcome->not_greeted;
      skipped->push_back({row->line, "the greeting was not sent: " + why, row->fields});
      continue;
    }
    accepted.push_back(row);
  }
  if (!options.dry_run && !accepted.empty()) {
    // Under the lock Add takes for its check and its row, so that an
    // address added meanwhile is a duplicate here, not a second row.
    database::WriteLock lock(list.get());
    Status status = LockMailingList(&lock);
    std::unordered_set<std::string> taken;
    if (status.ok()) status = TakenMeanwhile(list, accepted, &taken);
    if (!status.ok()) return status;
    if (!taken.empty()) {
      std::erase_if(accepted, [&](const Row* row) {
        if (taken.count(AddressFoldedCase(*row->values[kEmail])) == 0) return false;
        ++outcome->duplicates;
        skipped->push_back({row->line, kAlreadyOnList, row->fields});
        return true;
      });
    }
    if (!accepted.empty()) status = WriteRows(list, accepted);
    if (status.ok()) status = lock.Commit();
    if (!status.ok()) return status;
  }
  outcome->added += static_cast<int64_t>(accepted.size());
  return Status::OK();
}

void WriteReport(const std::string& path, const std::vector<std::string>& header,
                 std::vector<Skipped>& skipped, ImportOutcome* outcome) {
  const std::string report = path + ".skipped.csv";
  if (skipped.empty()) {
    std::remove(report.c_str());  // an earlier import's list would mislead
    return;
  }
  std::sort(skipped.begin(), skipped.end(),
            [](const Skipped& a, const Skipped& b) { return a.line < b.line; });
  std::string text;
  std::vector<std::string> fields = {"Line", "Reason"};
  fields.insert(fields.end(), header.begin(), header.end());
  AppendCsvRecord(fields, ',', false, &text);
  for (Skipped& row : skipped) {
    fields = {std::to_string(row.line), row.reason};
    fields.insert(fields.end(), row.fields.begin(), row.fields.end());
    AppendCsvRecord(fields, ',', false, &text);
  }
  std::FILE* file = std::fopen(report.c_str(), "wb");
  bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const int error = errno;
  if (file != nullptr && std::fclose(file) != 0) written = false;
  if (!written) {
    outcome->report_error =
        "The skipped rows could not be listed in \"" + report + "\": " + std::strerror(error) + ".";
    return;
  }
  outcome->report_path = report;
}

}  // namespace

Status ImportSubscribers(ListConnection& list, const std::string& path,
                         const ImportOptions& options, ImportOutcome* outcome) {
  *outcome = ImportOutcome();
  std::string text;
  Status status = ReadWholeFile(path, &text);
  ParsedFile parsed;
  if (status.ok()) status = ParseFile(path, text, &parsed, &outcome->ignored_columns);
  if (!status.ok()) {
    outcome->ignored_columns.clear();
    return Status::Error(status.message() + " Nobody was added.");
  }
  text = std::string();

  const database::TableInfo* table = nullptr;
  status = list.get()->DescribeTable(kMailingList, &table);
  if (status.ok()) status = list.get()->CheckColumns(*table, WrittenColumns());
  std::vector<std::optional<std::string>> existing;
  if (status.ok()) status = ReadSubscriberAddresses(list, &existing);
  if (!status.ok()) return status;
  // Folded address -> the line it was first seen on; 0 for the list.
  std::unordered_map<std::string, int64_t> seen;
  seen.reserve(existing.size() + parsed.rows.size());
  for (const std::optional<std::string>& address : existing) {
    if (address) seen.emplace(AddressFoldedCase(*address), 0);
  }
  existing = {};

  std::vector<Skipped> skipped;
  std::vector<Row*> group;
  const auto rows = static_cast<int64_t>(parsed.rows.size());
  int64_t done = 0;
  for (Row& row : parsed.rows) {
    ++done;
    if (std::optional<std::string> refusal = RowRefusal(row)) {
      ++outcome->invalid;
      skipped.push_back({row.line, *refusal, row.fields});
    } else if (auto [at, fresh] = seen.emplace(AddressFoldedCase(*row.values[kEmail]), row.line);
               !fresh) {
      ++outcome->duplicates;
      skipped.push_back({row.line,
                         at->second == 0 ? std::string(kAlreadyOnList)
                                         : "also on line " + std::to_string(at->second),
                         row.fields});
    } else {
      group.push_back(&row);
    }
    if (static_cast<int64_t>(group.size()) == kRowsPerTransaction || done == rows) {
      status = AddGroup(list, group, options, outcome, &skipped);
      group.clear();
      if (!status.ok()) break;
      if (options.progress && !options.progress(done, rows) && done < rows) {
        outcome->stopped = true;
        break;
      }
    }
  }
  WriteReport(path, parsed.header, skipped, outcome);
  if (!status.ok()) {
    return Status::Error("The import stopped after " + GroupedNumber(outcome->added) +
                         " subscribers were added: " + status.message());
  }
  return Status::OK();
}

std::string GroupedNumber(int64_t number) {
  const std::string digits = std::to_string(number < 0 ? -number : number);
  std::string grouped = number < 0 ? "-" : "";
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

std::string ImportSummary(const ImportOutcome& outcome, bool dry_run) {
  const auto counted = [](int64_t n, const char* one, const char* many) {
    return GroupedNumber(n) + " " + (n == 1 ? one : many);
  };
  std::string text = counted(outcome.added, "subscriber", "subscribers") +
                     (dry_run ? " would be added; " : " added; ") +
                     counted(outcome.duplicates, "duplicate", "duplicates") + " and " +
                     counted(outcome.invalid, "invalid row", "invalid rows") + " skipped";
  if (outcome.stopped) text += "; stopped before the end of the file";
  if (outcome.not_greeted > 0) {
    text += "\n" + counted(outcome.not_greeted, "subscriber was", "subscribers were") +
            " not added: the greeting was not sent.";
  }
  if (!outcome.ignored_columns.empty()) {
    text += "\nColumns ignored:";
    for (size_t i = 0; i < outcome.ignored_columns.size(); ++i) {
      text += (i == 0 ? " " : ", ") + outcome.ignored_columns[i];
    }
    text += '.';
  }
  if (!outcome.report_path.empty()) {
    text += "\nThe skipped rows are listed in \"" + outcome.report_path + "\".";
  }
  if (!outcome.report_error.empty()) text += "\n" + outcome.report_error;
  return text;
}

}  // namespace verdanpost::mailinglist
