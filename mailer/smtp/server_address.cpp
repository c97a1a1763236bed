#include "mailer/smtp/server_address.h"

#include <string_view>

namespace verdanpost {
namespace {

constexpr char kDefaultPort[] = "25";

bool IsPort(std::string_view text) {
  if (text.empty() || text.size() > 5) return false;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value >= 1 && value <= 65535;
}

}  // namespace

ServerAddress ParseServerName(const std::string& server_name) {
  std::string_view name(server_name);
  if (!name.empty() && name.front() == '[') {
    size_t close = name.find(']');
    if (close != std::string_view::npos) {
      std::string_view after = name.substr(close + 1);
      std::string host(name.substr(1, close - 1));
      if (after.empty()) return {host, kDefaultPort};
      if (after.front() == ':' && IsPort(after.substr(1))) {
        return {host, std::string(after.substr(1)), true};
      }
    }
    return {server_name, kDefaultPort};
  }
  size_t colon = name.find(':');
  if (colon != std::string_view::npos && name.find(':', colon + 1) == std::string_view::npos &&
      IsPort(name.substr(colon + 1))) {
    return {std::string(name.substr(0, colon)), std::string(name.substr(colon + 1)), true};
  }
  return {server_name, kDefaultPort};
}

}  // namespace verdanpost
