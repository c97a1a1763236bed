#include "console/mailinglist/csv_file.h"

namespace verdanpost::mailinglist {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The separator the first record of |text| uses. A quote opens a quoted
// field only at a field's start, after either separator, and "" inside one
// is a quote, as the reader takes them.
char DetectSeparator(std::string_view text) {
  int commas = 0, semicolons = 0;
  bool quoted = false, field_start = true;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        ++i;
      } else if (c == '"') {
        quoted = false;
      }
      continue;
    }
    if (c == '\n') break;
    if (c == '"' && field_start) {
      quoted = true;
    } else if (c == ',' || c == ';') {
      ++(c == ',' ? commas : semicolons);
      field_start = true;
      continue;
    }
    field_start = false;
  }
  return semicolons > commas ? ';' : ',';
}

}  // namespace

CsvReader::CsvReader(std::string_view text, char separator) : text_(text) {
  if (text_.starts_with(kByteOrderMark)) text_.remove_prefix(kByteOrderMark.size());
  separator_ = separator != 0 ? separator : DetectSeparator(text_);
}

bool CsvReader::Next(CsvRecord* record, std::string* err) {
  err->clear();
  // Blank lines carry no record.
  while (position_ < text_.size() && (text_[position_] == '\n' || text_[position_] == '\r')) {
    if (text_[position_] == '\n') ++line_;
    ++position_;
  }
  if (position_ >= text_.size()) return false;

  record->line = line_;
  record->fields.assign(1, std::string());
  bool quoted = false;      // inside a quoted field
  bool field_start = true;  // nothing of the field read yet
  int64_t quote_line = 0;   // where the open quoted field began
  while (position_ < text_.size()) {
    const char c = text_[position_++];
    std::string& field = record->fields.back();
    if (quoted) {
      if (c == '"') {
        if (position_ < text_.size() && text_[position_] == '"') {
          field += '"';
          ++position_;
        } else {
          quoted = false;
        }
      } else {
        if (c == '\n') ++line_;
        field += c;
      }
      continue;
    }
    if (c == '"' && field_start) {
      quoted = true;
      field_start = false;
      quote_line = line_;
    } else if (c == separator_) {
      record->fields.emplace_back();
      field_start = true;
    } else if (c == '\n') {
      ++line_;
      if (!field.empty() && field.back() == '\r') field.pop_back();
      return true;
    } else {
      field += c;
      field_start = false;
    }
  }
  if (quoted) {
    *err =
        "the file ends inside the quoted field that starts on line " + std::to_string(quote_line);
    return false;
  }
  std::string& last = record->fields.back();
  if (!last.empty() && last.back() == '\r') last.pop_back();
  return true;
}

int64_t FirstNonUtf8Line(std::string_view text) {
  int64_t line = 1;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char c = *p;
    if (c == '\n') ++line;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int length = 0;
    uint32_t code = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
      code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      code = c & 0x07;
    } else {
      return line;
    }
    if (end - p < length) return line;
    for (int i = 1; i < length; ++i) {
      if ((p[i] & 0xC0) != 0x80) return line;
      code = (code << 6) | (p[i] & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return line;
    p += length;
  }
  return 0;
}

void AppendCsvRecord(const std::vector<std::string>& fields, char separator, bool for_spreadsheet,
                     std::string* out) {
  const bool starts_text = out->empty();
  // A record of one empty field would be a blank line, which holds no record.
  const bool lone_empty = fields.size() == 1 && fields[0].empty();
  bool first = true;
  for (const std::string& field : fields) {
    if (!first) *out += separator;
    const bool formula_like = for_spreadsheet && !field.empty() &&
                              std::string_view("=+-@").find(field.front()) != std::string::npos;
    // Both separators are quoted whichever is used, so that a reader tells
    // the separator from the first line alone; a mark at the very start of
    // the text would be taken for the byte-order mark.
    const bool quote = lone_empty || field.find_first_of("\",;\r\n") != std::string::npos ||
                       field.find(separator) != std::string::npos ||
                       (first && starts_text && field.starts_with(kByteOrderMark));
    first = false;
    if (quote) *out += '"';
    if (formula_like) *out += '\'';
    for (char c : field) {
      if (c == '"') *out += '"';
      *out += c;
    }
    if (quote) *out += '"';
  }
  *out += "\r\n";
}

}  // namespace verdanpost::mailinglist
