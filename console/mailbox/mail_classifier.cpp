#include "console/mailbox/mail_classifier.h"

#include <gmime/gmime.h>

#include <memory>
#include <mutex>
#include <optional>

#include "platform/ascii.h"

namespace verdanpost::mailbox {
namespace {

// Owners of the GObjects this file makes.
struct Unref {
  void operator()(void* object) const { g_object_unref(object); }
};
template <typename T>
using Owned = std::unique_ptr<T, Unref>;

struct GFree {
  void operator()(void* memory) const { g_free(memory); }
};

void InitializeGMime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

std::string_view Trim(std::string_view text) {
  const char* blanks = " \t\r\n";
  size_t start = text.find_first_not_of(blanks);
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(blanks) - start + 1);
}

Finding Made(std::string address, FindingKind kind, std::string code, std::string text,
             const std::string& date) {
  Finding finding;
  finding.address = std::move(address);
  finding.kind = kind;
  finding.status_code = std::move(code);
  finding.status_text = std::move(text);
  finding.date = date;
  return finding;
}

Owned<GMimeMessage> ParseMessage(std::string_view bytes) {
  Owned<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
  Owned<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  return Owned<GMimeMessage>(g_mime_parser_construct_message(parser.get(), nullptr));
}

// The decoded content of a leaf part, or "".
std::string PartContent(GMimePart* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (content == nullptr) return {};
  Owned<GMimeStream> memory(g_mime_stream_mem_new());
  g_mime_data_wrapper_write_to_stream(content, memory.get());
  GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
  return std::string(reinterpret_cast<const char*>(array->data), array->len);
}

// One group of fields of a report body, as GMime reads a header block.
using Fields = std::vector<std::pair<std::string, std::string>>;

const std::string* Field(const Fields& fields, std::string_view name) {
  for (const auto& [key, value] : fields) {
    if (EqualsIgnoreAsciiCase(key, name)) return &value;
  }
  return nullptr;
}

// The groups of fields of a message/delivery-status or feedback-report
// body: blocks of header fields separated by blank lines. GMime reads each
// block as the header of a message whose body is the rest.
std::vector<Fields> FieldGroups(std::string text) {
  std::vector<Fields> groups;
  for (int guard = 0; guard < 10000; ++guard) {
    size_t start = text.find_first_not_of("\r\n");
    if (start == std::string::npos) break;
    text.erase(0, start);
    Owned<GMimeMessage> block = ParseMessage(text);
    if (block == nullptr) break;
    Fields fields;
    GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(block.get()));
    for (int i = 0, n = g_mime_header_list_get_count(headers); i < n; ++i) {
      GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);
      const char* value = g_mime_header_get_value(header);
      fields.emplace_back(g_mime_header_get_name(header), value != nullptr ? value : "");
    }
    if (fields.empty()) break;
    groups.push_back(std::move(fields));
    GMimeObject* body = g_mime_message_get_mime_part(block.get());
    std::string rest = body != nullptr && GMIME_IS_PART(body) ? PartContent(GMIME_PART(body)) : "";
    if (rest.size() >= text.size()) break;
    text = std::move(rest);
  }
  return groups;
}

// "rfc822; ann@example.org" as its address; nullopt for another type.
std::optional<std::string> Rfc822Address(const std::string* field) {
  if (field == nullptr) return std::nullopt;
  size_t semicolon = field->find(';');
  if (semicolon == std::string::npos) return std::nullopt;
  if (!EqualsIgnoreAsciiCase(Trim(std::string_view(*field).substr(0, semicolon)), "rfc822")) {
    return std::nullopt;
  }
  std::string_view address = Trim(std::string_view(*field).substr(semicolon + 1));
  if (address.size() >= 2 && address.front() == '<' && address.back() == '>') {
    address = address.substr(1, address.size() - 2);
  }
  if (address.empty() || address.find('@') == std::string_view::npos ||
      address.find_first_of(" \t,") != std::string_view::npos) {
    return std::nullopt;
  }
  return std::string(address);
}

// "5.1.1 (comment)" as "5.1.1", when it is a status code of class 4 or 5.
std::optional<std::string> FailureStatus(const std::string* field) {
  if (field == nullptr) return std::nullopt;
  std::string_view status = Trim(*field);
  status = status.substr(0, status.find_first_of(" \t("));
  if (status.size() < 5 || (status[0] != '4' && status[0] != '5') || status[1] != '.') {
    return std::nullopt;
  }
  for (char c : status.substr(2)) {
    if ((c < '0' || c > '9') && c != '.') return std::nullopt;
  }
  return std::string(status);
}

// The diagnostic after its type: "smtp; 550 5.1.1 ..." as "550 5.1.1 ...".
std::string Diagnostic(const std::string* field) {
  if (field == nullptr) return {};
  std::string_view text = *field;
  if (size_t semicolon = text.find(';'); semicolon != std::string_view::npos) {
    text = text.substr(semicolon + 1);
  }
  return std::string(Trim(text));
}

std::vector<Finding> DeliveryFindings(const std::string& body, const std::string& date) {
  std::vector<Finding> findings;
  std::vector<Fields> groups = FieldGroups(body);
  // The first group is about the message; the others are one per recipient.
  for (size_t i = 1; i < groups.size(); ++i) {
    const Fields& group = groups[i];
    const std::string* action = Field(group, "Action");
    if (action == nullptr) continue;
    std::string_view verb = Trim(*action);
    verb = verb.substr(0, verb.find_first_of(" \t("));
    if (!EqualsIgnoreAsciiCase(verb, "failed") && !EqualsIgnoreAsciiCase(verb, "delayed")) {
      continue;
    }
    std::optional<std::string> address = Rfc822Address(Field(group, "Original-Recipient"));
    if (!address) address = Rfc822Address(Field(group, "Final-Recipient"));
    std::optional<std::string> status = FailureStatus(Field(group, "Status"));
    if (!address || !status) continue;
    findings.push_back(Made(*address, (*status)[0] == '5' ? FindingKind::kHard : FindingKind::kSoft,
                            *status, Diagnostic(Field(group, "Diagnostic-Code")), date));
  }
  return findings;
}

std::vector<Finding> ComplaintFindings(const std::string& body, const std::string& date) {
  std::vector<Fields> groups = FieldGroups(body);
  if (groups.empty()) return {};
  const std::string* type = Field(groups[0], "Feedback-Type");
  std::vector<Finding> findings;
  for (const auto& [key, value] : groups[0]) {
    if (!EqualsIgnoreAsciiCase(key, "Original-Rcpt-To")) continue;
    std::string_view address = Trim(value);
    if (address.size() >= 2 && address.front() == '<' && address.back() == '>') {
      address = address.substr(1, address.size() - 2);
    }
    if (address.find('@') == std::string_view::npos) continue;
    findings.push_back(Made(std::string(address), FindingKind::kComplaint,
                            type != nullptr ? std::string(Trim(*type)) : "", "", date));
  }
  return findings;
}

// The content of the first leaf of `object` whose type is `type`/`subtype`.
std::optional<std::string> FindPart(GMimeObject* object, const char* type, const char* subtype) {
  if (GMIME_IS_MULTIPART(object)) {
    GMimeMultipart* multipart = GMIME_MULTIPART(object);
    for (int i = 0, n = g_mime_multipart_get_count(multipart); i < n; ++i) {
      if (auto found = FindPart(g_mime_multipart_get_part(multipart, i), type, subtype)) {
        return found;
      }
    }
    return std::nullopt;
  }
  if (GMIME_IS_PART(object) &&
      g_mime_content_type_is_type(g_mime_object_get_content_type(object), type, subtype)) {
    return PartContent(GMIME_PART(object));
  }
  return std::nullopt;
}

// The first line with text of the message's first text/plain part that is
// no attachment, decoded to UTF-8.
std::string FirstBodyLine(GMimeObject* object) {
  if (GMIME_IS_MULTIPART(object)) {
    GMimeMultipart* multipart = GMIME_MULTIPART(object);
    for (int i = 0, n = g_mime_multipart_get_count(multipart); i < n; ++i) {
      std::string line = FirstBodyLine(g_mime_multipart_get_part(multipart, i));
      if (!line.empty()) return line;
    }
    return {};
  }
  if (!GMIME_IS_TEXT_PART(object) ||
      !g_mime_content_type_is_type(g_mime_object_get_content_type(object), "text", "plain")) {
    return {};
  }
  const char* disposition = g_mime_object_get_disposition(object);
  if (disposition != nullptr && EqualsIgnoreAsciiCase(disposition, "attachment")) return {};
  std::unique_ptr<char, GFree> text(g_mime_text_part_get_text(GMIME_TEXT_PART(object)));
  if (text == nullptr) return {};
  std::string_view rest = text.get();
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    std::string_view line = Trim(rest.substr(0, end));
    if (!line.empty()) return std::string(line);
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return {};
}

bool ListHolds(InternetAddressList* list, const std::string& address) {
  if (list == nullptr) return false;
  for (int i = 0, n = internet_address_list_length(list); i < n; ++i) {
    InternetAddress* entry = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_GROUP(entry)) {
      if (ListHolds(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(entry)), address)) {
        return true;
      }
    } else if (INTERNET_ADDRESS_IS_MAILBOX(entry)) {
      const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(entry));
      if (addr != nullptr && EqualsIgnoreAsciiCase(addr, address)) return true;
    }
  }
  return false;
}

std::string FirstMailbox(InternetAddressList* list) {
  if (list == nullptr || internet_address_list_length(list) < 1) return {};
  InternetAddress* entry = internet_address_list_get_address(list, 0);
  if (!INTERNET_ADDRESS_IS_MAILBOX(entry)) return {};
  const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(entry));
  return addr != nullptr ? addr : "";
}

std::string MessageDate(GMimeMessage* message, const std::string& now) {
  GDateTime* date = g_mime_message_get_date(message);
  if (date == nullptr) return now;
  GDateTime* local = g_date_time_to_local(date);
  if (local == nullptr) return now;
  std::unique_ptr<char, GFree> text(g_date_time_format(local, "%Y-%m-%d %H:%M:%S"));
  g_date_time_unref(local);
  return text != nullptr ? std::string(text.get()) : now;
}

bool IsUnsubscribe(std::string_view text) {
  return EqualsIgnoreAsciiCase(Trim(text), "unsubscribe");
}

}  // namespace

Verdict ClassifyMail(std::string_view bytes, const std::string& list_address,
                     const std::string& now) {
  InitializeGMime();
  Verdict verdict;
  Owned<GMimeMessage> message = ParseMessage(bytes);
  if (message == nullptr) return verdict;
  const std::string date = MessageDate(message.get(), now);
  GMimeObject* body = g_mime_message_get_mime_part(message.get());
  GMimeContentType* type = body != nullptr ? g_mime_object_get_content_type(body) : nullptr;
  if (type != nullptr && g_mime_content_type_is_type(type, "multipart", "report")) {
    const char* report = g_mime_content_type_get_parameter(type, "report-type");
    std::string_view report_type = report != nullptr ? report : "";
    if (EqualsIgnoreAsciiCase(report_type, "delivery-status")) {
      std::optional<std::string> status = FindPart(body, "message", "delivery-status");
      if (!status) status = FindPart(body, "message", "global-delivery-status");
      if (status) verdict.findings = DeliveryFindings(*status, date);
      verdict.kind = verdict.findings.empty() ? MailKind::kNotUnderstood : MailKind::kBounce;
    } else if (EqualsIgnoreAsciiCase(report_type, "feedback-report")) {
      if (std::optional<std::string> fields = FindPart(body, "message", "feedback-report")) {
        verdict.findings = ComplaintFindings(*fields, date);
      }
      verdict.kind = verdict.findings.empty() ? MailKind::kNotUnderstood : MailKind::kComplaint;
    } else {
      verdict.kind = MailKind::kNotUnderstood;
    }
    return verdict;
  }
  // Mail to the empty reverse path is a report of some kind, never a
  // subscriber's own message.
  const char* return_path = g_mime_object_get_header(GMIME_OBJECT(message.get()), "Return-Path");
  if (return_path != nullptr && Trim(return_path) == "<>") {
    verdict.kind = MailKind::kNotUnderstood;
    return verdict;
  }
  if (list_address.empty()) return verdict;
  if (!ListHolds(g_mime_message_get_to(message.get()), list_address) &&
      !ListHolds(g_mime_message_get_cc(message.get()), list_address)) {
    return verdict;
  }
  const char* subject = g_mime_message_get_subject(message.get());
  if (!(subject != nullptr && IsUnsubscribe(subject)) &&
      !(body != nullptr && IsUnsubscribe(FirstBodyLine(body)))) {
    return verdict;
  }
  std::string from = FirstMailbox(g_mime_message_get_from(message.get()));
  if (from.empty()) return verdict;
  verdict.kind = MailKind::kUnsubscribe;
  verdict.findings.push_back(Made(from, FindingKind::kUnsubscribe, "", "", date));
  return verdict;
}

}  // namespace verdanpost::mailbox
