#include "console/mailbox/imap_mailbox.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <mutex>
#include <sstream>

namespace verdanpost::mailbox {
namespace {

// libcurl's receive buffer, its largest; an answer line may fill half.
constexpr long kBufferSize = 512 * 1024;
// UIDs asked for in one search: at most 10 digits and a blank each, which
// keeps a line of them within half the buffer.
constexpr uint64_t kSearchWindow = 20000;
// Connections that fetch side by side; servers commonly allow ten per user
// and address.
constexpr size_t kFetchConnections = 4;

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
  if (share_ != nullptr) curl_share_cleanup(static_cast<CURLSH*>(share_));
}

bool ImapMailbox::Open(const MailboxSettings& settings, const std::string& password,
                       std::string* err) {
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    *err = "The mailbox could not be read: libcurl could not start";
    return false;
  }
  curl_ = curl;
  // Every command and fetch runs on a fresh copy of this handle (libcurl
  // counts a handle's answer lines across its transfers, against a limit
  // meant for one answer); the copies share its connections, so the
  // mailbox is signed in to once per connection.
  share_ = curl_share_init();
  if (share_ != nullptr) {
    curl_share_setopt(static_cast<CURLSH*>(share_), CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    curl_easy_setopt(curl, CURLOPT_SHARE, static_cast<CURLSH*>(share_));
  }
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
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kBufferSize);
  // The first command connects, signs in and selects the folder.
  std::string answer;
  return Perform("NOOP", &answer, err);
}

bool ImapMailbox::Perform(const std::string& command, std::string* out, std::string* err) {
  std::unique_ptr<CURL, void (*)(CURL*)> copy(
      curl_ != nullptr ? curl_easy_duphandle(Handle(curl_)) : nullptr, &curl_easy_cleanup);
  CURL* curl = copy.get();
  if (curl == nullptr) {
    *err = "The mailbox is not open";
    return false;
  }
  curl_easy_setopt(curl, CURLOPT_SHARE, static_cast<CURLSH*>(share_));
  out->clear();
  error_buffer_[0] = '\0';
  curl_easy_setopt(curl, CURLOPT_URL, url_.c_str());
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, command.empty() ? nullptr : command.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, out);
  CURLcode code = curl_easy_perform(curl);
  if (code == CURLE_OK) return true;
  *err = Failure(code, error_buffer_[0] != '\0' ? error_buffer_ : curl_easy_strerror(code));
  return false;
}

std::string ImapMailbox::Failure(int code, const std::string& detail) const {
  switch (code) {
    case CURLE_LOGIN_DENIED:
      return "The mailbox " + where_ + " refused the login of its User (" + detail + ")";
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_USE_SSL_FAILED:
      return "The mailbox " + where_ + " could not be reached securely: " + detail;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
      return "The mailbox " + where_ + " could not be reached: " + detail;
    case CURLE_QUOTE_ERROR:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
      return "The mailbox " + where_ + " refused a command: " + detail;
    default:
      return "The connection to the mailbox " + where_ + " failed: " + detail;
  }
}

bool ImapMailbox::ListUnhandled(std::vector<uint32_t>* uids, std::vector<uint32_t>* unseen,
                                std::string* err) {
  uids->clear();
  unseen->clear();
  // "*" is the highest UID in use; none when the folder is empty.
  std::string answer;
  if (!Perform("UID SEARCH UID *", &answer, err)) return false;
  const std::vector<uint32_t> highest = SearchResult(answer);
  if (highest.empty()) return true;
  // libcurl keeps only the start of an answer line longer than half its
  // buffer, so the UIDs are asked for in windows whose line fits.
  const std::string handled = std::string(" UNKEYWORD ") + kHandledKeyword;
  for (uint64_t first = 1; first <= highest.back(); first += kSearchWindow) {
    const std::string range =
        "UID SEARCH UID " + std::to_string(first) + ":" + std::to_string(first + kSearchWindow - 1);
    if (!Perform(range + handled, &answer, err)) return false;
    std::vector<uint32_t> found = SearchResult(answer);
    if (found.empty()) continue;
    uids->insert(uids->end(), found.begin(), found.end());
    if (!Perform(range + " UNSEEN" + handled, &answer, err)) return false;
    found = SearchResult(answer);
    unseen->insert(unseen->end(), found.begin(), found.end());
  }
  return true;
}

bool ImapMailbox::FetchEach(const std::vector<uint32_t>& uids, const EachMessage& each,
                            std::string* err) {
  struct Fetcher {
    CURL* easy = nullptr;
    uint32_t uid = 0;
    bool busy = false;
    std::string message;
    char error[CURL_ERROR_SIZE] = {};
  };
  std::vector<Fetcher> fetchers(std::min(kFetchConnections, uids.size()));
  CURLM* multi = curl_multi_init();
  size_t next = 0;
  // Each fetch gets a fresh copy of the handle, as each command does; the
  // copies share the connections.
  auto start = [&](Fetcher& f) {
    if (f.easy != nullptr) curl_easy_cleanup(f.easy);
    f.easy = curl_easy_duphandle(Handle(curl_));
    if (f.easy == nullptr) return false;
    curl_easy_setopt(f.easy, CURLOPT_SHARE, static_cast<CURLSH*>(share_));
    f.uid = uids[next++];
    f.message.clear();
    f.error[0] = '\0';
    const std::string url = url_ + ";UID=" + std::to_string(f.uid);
    curl_easy_setopt(f.easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(f.easy, CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(f.easy, CURLOPT_WRITEDATA, &f.message);
    curl_easy_setopt(f.easy, CURLOPT_ERRORBUFFER, f.error);
    f.busy = curl_multi_add_handle(multi, f.easy) == CURLM_OK;
    return f.busy;
  };
  bool ok = multi != nullptr;
  for (Fetcher& f : fetchers) {
    if (ok && !start(f)) ok = false;
  }
  if (!ok) *err = "The mailbox could not be read: libcurl could not start";
  // Once `each` has said stop, no fetch starts, but those under way are
  // still handed over: the server has already marked them seen.
  for (bool stopping = false; ok;) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      ok = false;
      *err = "The connection to the mailbox " + where_ + " failed";
      break;
    }
    int left = 0;
    while (CURLMsg* done = curl_multi_info_read(multi, &left)) {
      if (done->msg != CURLMSG_DONE) continue;
      auto f = std::find_if(fetchers.begin(), fetchers.end(),
                            [done](const Fetcher& x) { return x.easy == done->easy_handle; });
      curl_multi_remove_handle(multi, f->easy);
      f->busy = false;
      const CURLcode code = done->data.result;
      if (code != CURLE_OK) {
        *err = Failure(code, f->error[0] != '\0' ? f->error : curl_easy_strerror(code));
        ok = false;
        break;
      }
      if (!each(f->uid, f->message)) stopping = true;
      if (!stopping && next < uids.size() && !start(*f)) {
        *err = "The mailbox could not be read: libcurl could not start";
        ok = false;
        break;
      }
    }
    if (std::none_of(fetchers.begin(), fetchers.end(), [](const Fetcher& x) { return x.busy; })) {
      break;
    }
    if (ok) curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
  }
  for (Fetcher& f : fetchers) {
    if (f.easy == nullptr) continue;
    if (f.busy) curl_multi_remove_handle(multi, f.easy);
    curl_easy_cleanup(f.easy);
  }
  if (multi != nullptr) curl_multi_cleanup(multi);
  return ok;
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
    if (!Perform(before + UidSet(piece) + after, &answer, err)) return false;
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
