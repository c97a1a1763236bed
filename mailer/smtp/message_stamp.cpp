#include "mailer/smtp/message_stamp.h"

#include <sys/random.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "mailer/smtp/smtp_session.h"

namespace verdanpost {
namespace {

bool IsAtomText(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::strchr("!#$%&'*+-/=?^_`{|}~", c) != nullptr;
}

// True for a domain that may follow the "@" of a Message-ID as it stands:
// dot-separated runs of ASCII atom characters, or a bracketed literal.
bool IsIdDomain(std::string_view domain) {
  if (domain.empty()) return false;
  if (domain.front() == '[') {
    if (domain.size() < 2 || domain.back() != ']') return false;
    for (char c : domain.substr(1, domain.size() - 2)) {
      if (c < 33 || c > 126 || c == '[' || c == ']' || c == '\\') return false;
    }
    return true;
  }
  if (domain.front() == '.' || domain.back() == '.') return false;
  for (size_t i = 0; i < domain.size(); ++i) {
    if (domain[i] == '.' ? domain[i + 1] == '.' : !IsAtomText(domain[i])) return false;
  }
  return true;
}

uint64_t RandomBits() {
  uint64_t bits = 0;
  if (::getrandom(&bits, sizeof(bits), 0) != sizeof(bits)) {
    // Without the kernel's randomness, mix what differs between calls.
    bits = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) *
           0x9E3779B97F4A7C15ull;
  }
  return bits;
}

}  // namespace

std::string FormatDate(std::time_t when) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm local{};
  if (::localtime_r(&when, &local) == nullptr) ::gmtime_r(&when, &local);
  long offset = local.tm_gmtoff / 60;  // minutes east of UTC
  char sign = offset < 0 ? '-' : '+';
  if (offset < 0) offset = -offset;
  char text[64];
  std::snprintf(text, sizeof(text), "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                kDays[local.tm_wday % 7], local.tm_mday, kMonths[local.tm_mon % 12],
                local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec, sign, offset / 60,
                offset % 60);
  return text;
}

std::string MessageIdDomain(std::string_view sender_address, std::string_view host_name) {
  size_t at = sender_address.rfind('@');
  if (at != std::string_view::npos && IsIdDomain(sender_address.substr(at + 1))) {
    return std::string(sender_address.substr(at + 1));
  }
  if (IsIdDomain(host_name)) return std::string(host_name);
  return "localhost";
}

std::string NewMessageId(std::string_view domain) {
  static std::atomic<uint64_t> counter{0};
  auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                    std::chrono::system_clock::now().time_since_epoch())
                    .count();
  char text[96];
  std::snprintf(text, sizeof(text), "<%lld.%ld.%llu.%016llx@", static_cast<long long>(micros),
                static_cast<long>(::getpid()),
                static_cast<unsigned long long>(counter.fetch_add(1) + 1),
                static_cast<unsigned long long>(RandomBits()));
  return text + std::string(domain) + ">";
}

MessageStamp StampNow(std::string_view sender_address) {
  return {FormatDate(std::time(nullptr)),
          NewMessageId(MessageIdDomain(sender_address, LocalHostName()))};
}

}  // namespace verdanpost
