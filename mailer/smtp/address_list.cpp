#include "mailer/smtp/address_list.h"

namespace verdanpost {

size_t FindUnquoted(std::string_view text, char wanted) {
  bool quoted = false;
  size_t quote_start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quoted && c == '\\' && i + 1 < text.size()) {
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
      quote_start = i;
    } else if (c == wanted && !quoted) {
      return i;
    }
  }
  if (quoted) return text.find(wanted, quote_start);
  return std::string_view::npos;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string AddressOfEntry(std::string_view entry) {
  size_t open = FindUnquoted(entry, '<');
  if (open == std::string_view::npos) return std::string(TrimBlanks(entry));
  size_t close = entry.find('>', open + 1);
  if (close == std::string_view::npos) return std::string();
  return std::string(TrimBlanks(entry.substr(open + 1, close - open - 1)));
}

bool SplitAddressList(std::string* list, std::vector<std::string>* recipients) {
  std::string rest(TrimBlanks(*list));
  list->clear();
  if (rest.empty()) return true;
  std::string_view view(rest);
  for (;;) {
    size_t comma = FindUnquoted(view, ',');
    if (comma == std::string_view::npos) {
      recipients->push_back(AddressOfEntry(view));
      return false;
    }
    recipients->push_back(AddressOfEntry(view.substr(0, comma)));
    view.remove_prefix(comma + 1);
    if (view.empty()) return true;
  }
}

}  // namespace verdanpost
