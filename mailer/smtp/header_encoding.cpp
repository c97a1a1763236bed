#include "mailer/smtp/header_encoding.h"

#include <algorithm>
#include <vector>

#include "mailer/smtp/address_list.h"
#include "mailer/smtp/base64.h"
#include "mailer/smtp/text_kind.h"

namespace verdanpost {
namespace {

constexpr size_t kMaxLine = 78;  // characters per header line, without CR LF
constexpr size_t kMaxWord = 75;  // characters per encoded word
constexpr std::string_view kWordStart = "=?UTF-8?B?";
constexpr std::string_view kWordEnd = "?=";

size_t EncodedWordSize(size_t bytes) {
  return kWordStart.size() + (bytes + 2) / 3 * 4 + kWordEnd.size();
}

// Bytes in the UTF-8 character that `lead` starts; 1 for a byte that starts
// none, which then travels alone.
size_t CharacterSize(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF7) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC0) return 2;
  return 1;
}

// `bytes` as one encoded word.
std::string EncodedWord(std::string_view bytes) {
  return std::string(kWordStart) + Base64(bytes) + std::string(kWordEnd);
}

// One header field written piece by piece, each piece after a blank, with a
// fold (CR LF and that blank) before a piece that would pass the line limit.
class FoldedField {
 public:
  explicit FoldedField(std::string_view name)
      : text_(std::string(name) + ":"), line_length_(text_.size()) {}

  void Add(std::string_view piece) {
    if (pieces_on_line_ > 0 && line_length_ + 1 + piece.size() > kMaxLine) Fold();
    text_ += ' ';
    text_ += piece;
    line_length_ += 1 + piece.size();
    ++pieces_on_line_;
  }

  // Adds `text` as encoded words, split only between characters (a reader
  // decodes each word on its own) and as long as the lines allow.
  void AddEncoded(std::string_view text) {
    while (!text.empty()) {
      size_t limit = std::min(kMaxWord, kMaxLine - std::min(kMaxLine, line_length_ + 1));
      size_t take = 0;
      while (take < text.size()) {
        size_t next = std::min(text.size(), take + CharacterSize(text[take]));
        if (EncodedWordSize(next) > limit) break;
        take = next;
      }
      if (take == 0) {  // not even one character fits on this line
        Fold();
        continue;
      }
      Add(EncodedWord(text.substr(0, take)));
      text.remove_prefix(take);
    }
  }

  // Adds a display name as one encoded word where one can hold it, on a
  // line of its own if need be: readers disagree on the blank between two
  // encoded words of a name (the published rule drops it, Python's email
  // package keeps one), so a name is split only when it must be.
  void AddName(std::string_view name) {
    if (EncodedWordSize(name.size()) > kMaxWord) return AddEncoded(name);
    Add(EncodedWord(name));
  }

  std::string Finish() { return text_ + "\r\n"; }

 private:
  void Fold() {
    text_ += "\r\n";
    line_length_ = 0;
    pieces_on_line_ = 0;
  }

  std::string text_;
  size_t line_length_;
  int pieces_on_line_ = 0;  // after the field name
};

// The text a display name stands for: its double quotes taken off and the
// backslash escapes inside them undone.
std::string DisplayNameText(std::string_view phrase) {
  std::string text;
  bool quoted = false;
  for (size_t i = 0; i < phrase.size(); ++i) {
    char c = phrase[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (quoted && c == '\\' && i + 1 < phrase.size()) {
      text.push_back(phrase[++i]);
    } else {
      text.push_back(c);
    }
  }
  return text;
}

// The entries of a list, split at the commas outside quotes, each trimmed.
std::vector<std::string_view> Entries(std::string_view list) {
  std::vector<std::string_view> entries;
  for (;;) {
    size_t comma = FindUnquoted(list, ',');
    entries.push_back(TrimBlanks(list.substr(0, comma)));
    if (comma == std::string_view::npos) return entries;
    list.remove_prefix(comma + 1);
  }
}

}  // namespace

std::string SubjectField(std::string_view subject) {
  if (IsAscii(subject)) return "Subject: " + std::string(subject) + "\r\n";
  FoldedField field("Subject");
  field.AddEncoded(subject);
  return field.Finish();
}

std::string AddressField(std::string_view name, std::string_view list) {
  if (IsAscii(list)) return std::string(name) + ": " + std::string(list) + "\r\n";
  FoldedField field(name);
  std::vector<std::string_view> entries = Entries(list);
  for (size_t i = 0; i < entries.size(); ++i) {
    std::string_view entry = entries[i];
    std::string comma = i + 1 < entries.size() ? "," : "";
    size_t open = FindUnquoted(entry, '<');
    std::string_view phrase =
        open == std::string_view::npos ? std::string_view() : TrimBlanks(entry.substr(0, open));
    if (IsAscii(phrase)) {
      // Nothing to encode: an address alone, or a name in plain ASCII.
      if (!entry.empty() || !comma.empty()) field.Add(std::string(entry) + comma);
      continue;
    }
    field.AddName(DisplayNameText(phrase));
    field.Add(std::string(entry.substr(open)) + comma);
  }
  return field.Finish();
}

}  // namespace verdanpost
