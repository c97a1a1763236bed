#include "console/mailbox/imap_mailbox.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <mutex>
#include <sstream>

namespace verdanpost::mailbox {
namespace {

CURL* Handle(void* curl) { return static_cast<CURL*>(curl); }

size_t Collect(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

// The numbers of the untagged "* SEARCH" lines of `answer`.
std::vector<uint32_t> SearchResult(const std::string& answer) {
  std::vector<uint32_t> uids;
  std::istringstream lines(answer);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("* SEARCH", 0) != 0) continue;
    const char* p = line.data() + 8;
    const char* end = line.data() + line.size();
    while (p < end) {
      while (p < end && (*p == ' ' || *p == '\r')) ++p;
      uint32_t uid = 0;
      auto [next, error] = std::from_chars(p, end, uid);
      if (error != std::errc()) break;
      uids.push_back(uid);
      p = next;
    }
  }
  std::sort(uids.begin(), uids.end());
  return uids;
}

// The folder's name as a URL path piece.
std::string Escaped(CURL* curl, const std::string& folder) {
  char* escaped = curl_easy_escape(curl, folder.c_str(), static_cast<int>(folder.size()));
  std::string text = escaped != nullptr ? escaped : folder;
  curl_free(escaped);
  return text;
}

}  // namespace

std::string UidSet(std::vector<uint32_t> uids) {
  std::sort(uids.begin(), uids.end());
  std::string set;
  for (size_t i = 0; i < uids.size();) {
    size_t j = i;
    while (j + 1 < uids.size() && uids[j + 1] <= uids[j] + 1) ++j;
    if (!set.empty()) set += ',';
    set += std::to_string(uids[i]);
    if (uids[j] != uids[i]) set += ':' + std::to_string(uids[j]);
    i = j + 1;
  }
  return set;
}

ImapMailbox::ImapMailbox() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

ImapMailbox::~ImapMailbox() {
  if (curl_ != nullptr) curl_easy_cleanup(Handle(curl_));
}

bool ImapMailbox::Open(const MailboxSettings& settings, const std::string& password,
                       std::string* err) {
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    *err = "The mailbox could not be read: libcurl could not start";
    return false;
  }
  curl_ = curl;
  const bool v6 = settings.host.find(':') != std::string::npos;
  const std::string host = v6 ? "[" + settings.host + "]" : settings.host;
  where_ = host + ":" + std::to_string(settings.port);
  url_ = std::string(settings.starttls ? "imap://" : "imaps://") + where_ + "/" +
         Escaped(curl, settings.folder);
  curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!settings.ca_file.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, settings.ca_file.c_str());
  curl_easy_setopt(curl, CURLOPT_USERNAME, settings.user.c_str());
  curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
  // A server that stops answering ends the check instead of holding it.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error_buffer_);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
  // The first command connects, signs in and selects the folder.
  std::string answer;
  return Perform("", "NOOP", &answer, err);
}

bool ImapMailbox::Perform(const std::string& suffix, const std::string& command, std::string* out,
                          std::string* err) {
  CURL* curl = Handle(curl_);
  if (curl == nullptr) {
    *err = "The mailbox is not open";
    return false;
  }
  out->clear();
  error_buffer_[0] = '\0';
  const std::string url = url_ + suffix;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, command.empty() ? nullptr : command.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, out);
  CURLcode code = curl_easy_perform(curl);
  login_refused_ = code == CURLE_LOGIN_DENIED;
  if (code == CURLE_OK) return true;
  const std::string detail = error_buffer_[0] != '\0' ? error_buffer_ : curl_easy_strerror(code);
  switch (code) {
    case CURLE_LOGIN_DENIED:
      *err = "The mailbox " + where_ + " refused the login of its User (" + detail + ")";
      break;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_USE_SSL_FAILED:
      *err = "The mailbox " + where_ + " could not be reached securely: " + detail;
      break;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
      *err = "The mailbox " + where_ + " could not be reached: " + detail;
      break;
    case CURLE_QUOTE_ERROR:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
      *err = "The mailbox " + where_ + " refused a command: " + detail;
      break;
    default:
      *err = "The connection to the mailbox " + where_ + " failed: " + detail;
      break;
  }
  return false;
}

bool ImapMailbox::ListUnhandled(std::vector<uint32_t>* uids, std::vector<uint32_t>* unseen,
                                std::string* err) {
  std::string answer;
  const std::string handled = std::string("UNKEYWORD ") + kHandledKeyword;
  if (!Perform("", "UID SEARCH " + handled, &answer, err)) return false;
  *uids = SearchResult(answer);
  if (!Perform("", "UID SEARCH UNSEEN " + handled, &answer, err)) return false;
  *unseen = SearchResult(answer);
  return true;
}

bool ImapMailbox::Fetch(uint32_t uid, std::string* message, std::string* err) {
  return Perform(";UID=" + std::to_string(uid), "", message, err);
}

bool ImapMailbox::StoreInPieces(const std::vector<uint32_t>& uids, const std::string& before,
                                const std::string& after, std::string* err) {
  // 500 UIDs, at worst 500 numbers of up to 10 digits: well under the
  // 8000 octets a command line may be held to.
  constexpr size_t kPiece = 500;
  std::string answer;
  for (size_t start = 0; start < uids.size(); start += kPiece) {
    std::vector<uint32_t> piece(
        uids.begin() + static_cast<std::ptrdiff_t>(start),
        uids.begin() + static_cast<std::ptrdiff_t>(std::min(uids.size(), start + kPiece)));
    if (!Perform("", before + UidSet(piece) + after, &answer, err)) return false;
  }
  return true;
}

bool ImapMailbox::MarkHandled(const std::vector<uint32_t>& uids,
                              const std::vector<uint32_t>& unseen, std::string* err) {
  // Reading a message marks it seen; the owner still has to see the ones
  // that were new.
  return StoreInPieces(uids, "UID STORE ", std::string(" +FLAGS.SILENT (") + kHandledKeyword + ")",
                       err) &&
         StoreInPieces(unseen, "UID STORE ", " -FLAGS.SILENT (\\Seen)", err);
}

}  // namespace verdanpost::mailbox
