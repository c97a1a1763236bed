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
  bool Fetch(uint32_t uid, std::string* message, std::string* err) override;
  bool MarkHandled(const std::vector<uint32_t>& uids, const std::vector<uint32_t>& unseen,
                   std::string* err) override;

  // Whether the last failure was the server's refusal of the login.
  bool login_refused() const { return login_refused_; }

 private:
  // Runs `command` (empty: fetch the URL's message) on the folder's URL
  // plus `suffix`; the server's answer goes to *out.
  bool Perform(const std::string& suffix, const std::string& command, std::string* out,
               std::string* err);
  // Runs `command` ("UID STORE {} +FLAGS.SILENT (...)") for `uids` in
  // pieces short enough for any server's command line.
  bool StoreInPieces(const std::vector<uint32_t>& uids, const std::string& before,
                     const std::string& after, std::string* err);

  void* curl_ = nullptr;  // CURL*
  std::string url_;       // imaps://host:port/Folder
  std::string where_;     // "imap.example.org:993", for texts
  bool login_refused_ = false;
  char error_buffer_[256] = {};
};

}  // namespace verdanpost::mailbox

#endif  // VERDANPOST_CONSOLE_MAILBOX_IMAP_MAILBOX_H_
