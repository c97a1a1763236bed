#include "platform/automation/autocall_step.h"

#include <charconv>
#include <cstdint>

namespace verdanpost {
namespace {

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

void SkipSpaces(std::string_view s, size_t* pos) {
  while (*pos < s.size() && (s[*pos] == ' ' || s[*pos] == '\t')) ++*pos;
}

// Reads a double-quoted string at `*pos`, advancing past its closing quote.
bool ReadQuoted(std::string_view s, size_t* pos, std::string* out, std::string* err) {
  out->clear();
  for (size_t i = *pos + 1; i < s.size(); ++i) {
    if (s[i] == '"') {
      *pos = i + 1;
      return true;
    }
    if (s[i] != '\\') {
      *out += s[i];
      continue;
    }
    if (++i == s.size()) break;
    switch (s[i]) {
      case '"':
        *out += '"';
        break;
      case '\\':
        *out += '\\';
        break;
      case 'r':
        *out += '\r';
        break;
      case 'n':
        *out += '\n';
        break;
      case 't':
        *out += '\t';
        break;
      default:
        *err = std::string("unknown escape \\") + s[i];
        return false;
    }
  }
  *err = "unterminated string";
  return false;
}

bool ParseInt32(std::string_view s, int32_t* value) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *value);
  return !s.empty() && ec == std::errc() && end == s.data() + s.size();
}

// A bare (unquoted) value: integer or Boolean, else nothing.
bool ParseLiteral(std::string_view s, Variant* value) {
  int32_t number;
  if (ParseInt32(s, &number)) {
    *value = Variant(number);
  } else if (s == "true" || s == "false") {
    *value = Variant(s == "true");
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool ParseAutocallStep(std::string_view text, AutocallStep* step, std::string* err) {
  *step = AutocallStep();
  size_t pos = 0;
  while (pos < text.size() && IsNameChar(text[pos])) ++pos;
  step->name = std::string(text.substr(0, pos));
  if (step->name.empty()) {
    *err = "expected a member name in '" + std::string(text) + "'";
    return false;
  }
  if (pos == text.size()) {
    step->kind = AutocallStep::Kind::kGet;
    return true;
  }
  if (text[pos] == '=') {
    step->kind = AutocallStep::Kind::kPut;
    std::string_view value = text.substr(pos + 1);
    // A value wholly in double quotes is the string between them; any other
    // value that is no integer or Boolean is a string as it stands, so a
    // put never fails to parse.
    Variant v;
    std::string s;
    size_t p = pos + 1;
    std::string quote_err;
    if (!value.empty() && value.front() == '"' && ReadQuoted(text, &p, &s, &quote_err) &&
        p == text.size()) {
      v = Variant(std::string_view(s));
    } else if (!ParseLiteral(value, &v)) {
      v = Variant(value);
    }
    step->args.push_back(std::move(v));
    return true;
  }
  if (text[pos] != '(') {
    *err = "unexpected '" + std::string(1, text[pos]) + "' after " + step->name;
    return false;
  }
  step->kind = AutocallStep::Kind::kCall;
  ++pos;
  SkipSpaces(text, &pos);
  if (pos < text.size() && text[pos] == ')') {
    ++pos;
  } else {
    for (;;) {
      SkipSpaces(text, &pos);
      if (pos == text.size()) {
        *err = "missing ')' in '" + std::string(text) + "'";
        return false;
      }
      if (text[pos] == '"') {
        std::string s;
        if (!ReadQuoted(text, &pos, &s, err)) return false;
        step->args.emplace_back(std::string_view(s));
      } else {
        size_t start = pos;
        while (pos < text.size() && text[pos] != ',' && text[pos] != ')' && text[pos] != ' ' &&
               text[pos] != '\t')
          ++pos;
        std::string_view literal = text.substr(start, pos - start);
        Variant v;
        if (!ParseLiteral(literal, &v)) {
          *err = "argument " + std::to_string(step->args.size() + 1) + " of " + step->name +
                 " is not a quoted string, integer or true/false: '" + std::string(literal) + "'";
          return false;
        }
        step->args.push_back(std::move(v));
      }
      SkipSpaces(text, &pos);
      if (pos < text.size() && text[pos] == ',') {
        ++pos;
        continue;
      }
      if (pos < text.size() && text[pos] == ')') {
        ++pos;
        break;
      }
      *err = (pos == text.size() ? "missing ')' in '" : "expected ',' or ')' in '") +
             std::string(text) + "'";
      return false;
    }
  }
  if (pos != text.size()) {
    *err = "unexpected text after ')' in '" + std::string(text) + "'";
    return false;
  }
  return true;
}

}  // namespace verdanpost
