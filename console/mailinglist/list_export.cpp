#include "console/mailinglist/list_export.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "console/mailinglist/csv_file.h"
#include "platform/database/statement.h"

namespace verdanpost::mailinglist {

namespace {

// Owns the temporary file of an export; removes it unless committed.
class PartFile {
 public:
  explicit PartFile(std::string path) : path_(std::move(path)), part_(path_ + ".part") {}
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;
  ~PartFile() {
    if (file_ != nullptr) std::fclose(file_);
    if (!committed_) std::remove(part_.c_str());
  }

  Status Open() {
    file_ = std::fopen(part_.c_str(), "wb");
    return file_ != nullptr ? Status::OK() : Error();
  }
  Status Write(const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), file_) == text.size() ? Status::OK() : Error();
  }
  Status Commit() {
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0) return Error();
    if (std::rename(part_.c_str(), path_.c_str()) != 0) return Error();
    committed_ = true;
    return Status::OK();
  }

 private:
  Status Error() const {
    return Status::Error("Cannot write \"" + path_ + "\": " + std::strerror(errno) + ".");
  }

  std::string path_;
  std::string part_;
  std::FILE* file_ = nullptr;
  bool committed_ = false;
};

// Flushes the text gathered so far once it is this long.
constexpr size_t kWriteChunk = 1 << 16;

}  // namespace

Status ExportList(ListConnection& list, const std::string& path, const ExportOptions& options,
                  int64_t* rows) {
  *rows = 0;
  database::Connection& connection = *list.get();
  const std::string table_name = options.removed ? kDeletedList : kMailingList;
  const database::TableInfo* table = nullptr;
  Status status = connection.DescribeTable(table_name, &table);
  if (!status.ok()) return status;

  std::string columns;
  for (const std::string& column : table->columns) {
    columns += (columns.empty() ? "" : ", ") + connection.Quote(column);
  }
  database::Statement statement;
  status = statement.Execute(connection.handle(),
                             "SELECT " + columns + " FROM " + connection.Quote(table_name) +
                                 " ORDER BY " + table->key.OrderList(false),
                             {});
  if (!status.ok()) return status;

  PartFile file(path);
  if (status = file.Open(); !status.ok()) return status;
  std::string text = options.for_spreadsheet ? "\xEF\xBB\xBF" : "";
  AppendCsvRecord(table->columns, ',', options.for_spreadsheet, &text);
  std::vector<std::string> fields(table->columns.size());
  std::optional<std::string> value;
  for (bool has_row = true;;) {
    if (status = statement.Fetch(&has_row); !status.ok() || !has_row) break;
    for (size_t i = 0; i < fields.size() && status.ok(); ++i) {
      status = statement.GetText(static_cast<SQLUSMALLINT>(i + 1), &value);
      fields[i] = value.value_or(std::string());
    }
    if (!status.ok()) break;
    AppendCsvRecord(fields, ',', options.for_spreadsheet, &text);
    ++*rows;
    if (text.size() >= kWriteChunk) {
      if (status = file.Write(text); !status.ok()) break;
      text.clear();
    }
  }
  if (status.ok()) status = file.Write(text);
  if (status.ok()) status = file.Commit();
  if (!status.ok()) *rows = 0;
  return status;
}

}  // namespace verdanpost::mailinglist
