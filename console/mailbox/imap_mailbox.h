#ifndef VERDANPOST_CONSOLE_MAILBOX_IMAP_MAILBOX_H_
#define VERDANPOST_CONSOLE_MAILBOX_IMAP_MAILBOX_H_

#include <string>

#include "console/mailbox/mailbox_reader.h"
#include "console/mailbox/mailbox_settings.h"

namespace verdanpost::mailbox {

// The list's mailbox over IMAP (libcurl): one connection, signed in and
// kept for every call, always protected by TLS (implicit or STARTTLS) with
// the server's certificate checked. Used on one thread at a time.
class ImapMailbox : public MailboxReader {
 public:
  ImapMailbox();
  ~ImapMailbox() override;
  ImapMailbox(const ImapMailbox&) = delete;
  ImapMailbox& operator=(const ImapMailbox&) = delete;

  // Connects and signs in with `password`, and opens the settings' Folder.
  // false with *err saying whether the server could not be reached, refused
  // its certificate check or the login.
  bool Open(const MailboxSettings& settings, const std::string& password, std::string* err);

  bool ListUnhandled(std::vector<uint32_t>* uids, std::vector<uint32_t>* unseen,
                     std::string* err) override;
  // Fetches over several connections at once: each fetch waits a round
  // trip, and the server can answer them side by side.
  bool FetchEach(const std::vector<uint32_t>& uids, const EachMessage& each,
                 std::string* err) override;
  bool MarkHandled(const std::vector<uint32_t>& uids, const std::vector<uint32_t>& unseen,
                   std::string* err) override;

 private:
  // Runs `command` on the folder; the server's untagged answers go to *out.
  bool Perform(const std::string& command, std::string* out, std::string* err);
  // The operator's text for `code`, with libcurl's `detail`.
  std::string Failure(int code, const std::string& detail) const;
  // Runs `command` ("UID STORE {} +FLAGS.SILENT (...)") for `uids` in
  // pieces short enough for any server's command line.
  bool StoreInPieces(const std::vector<uint32_t>& uids, const std::string& before,
                     const std::string& after, std::string* err);

  void* curl_ = nullptr;   // CURL*: the settings every transfer copies
  void* share_ = nullptr;  // CURLSH*: the connections the copies share
  std::string url_;        // imaps://host:port/Folder
  std::string where_;      // "imap.example.org:993", for texts
  char error_buffer_[256] = {};
};

}  // namespace verdanpost::mailbox

#endif  // VERDANPOST_CONSOLE_MAILBOX_IMAP_MAILBOX_H_
