#ifndef VERDANPOST_TESTING_REAL_MAIL_SERVERS_H_
#define VERDANPOST_TESTING_REAL_MAIL_SERVERS_H_

#include <filesystem>
#include <string>
#include <vector>

namespace verdanpost::testing_support {

// A throwaway Postfix with a Dovecot beside it (testing/real_mail_servers.sh),
// on 127.0.0.1 at free ports, every file under a temporary folder that goes
// with the object. Mail for NAME@example.org lands in a Maildir per user;
// other addresses at example.org are refused at RCPT ("550 5.1.1 ... User
// unknown"). Needs root and the Debian packages postfix and dovecot-imapd.
class RealMailServers {
 public:
  struct Options {
    // Users with a Maildir and the password "secret".
    std::vector<std::string> users{"owner", "list"};
    // Lines of a check_recipient_access regexp table, for refusals of chosen
    // recipients ("/^full@/ 452 4.2.2 Mailbox full").
    std::vector<std::string> recipient_access;
    // Lines of a transport table ("gone@bounce.test error:5.1.1 User unknown"),
    // so that Postfix's own bounce daemon reports on chosen recipients. Their
    // domains need relay_domains in postfix_settings.
    std::vector<std::string> transports;
    // Lines "key=value" added to Postfix's main.cf ("smtpd_recipient_limit=50").
    std::vector<std::string> postfix_settings;
  };

  RealMailServers();
  ~RealMailServers();
  RealMailServers(const RealMailServers&) = delete;
  RealMailServers& operator=(const RealMailServers&) = delete;

  // Why the servers cannot run here ("" when they can): not root, or a
  // package missing. Tests skip with this reason.
  static std::string Unavailable();

  // Starts both servers; false with *err (and the servers' logs) when they
  // did not come up.
  bool Start(const Options& options, std::string* err);
  void Stop();

  int smtp_port() const { return smtp_port_; }              // plain, no sign-in
  int submission_port() const { return submission_port_; }  // STARTTLS, then AUTH
  int imap_port() const { return imap_port_; }              // IMAP with STARTTLS
  int imaps_port() const { return imaps_port_; }            // IMAP with TLS at once
  std::string ca_file() const { return (folder_ / "ca.pem").string(); }
  const std::filesystem::path& folder() const { return folder_; }

  // The messages delivered to `user`'s Maildir so far, oldest first.
  std::vector<std::string> Delivered(const std::string& user) const;
  // Waits until `user` has at least `count` messages, or Postfix's queue is
  // empty and cannot bring more; returns what was delivered by then.
  std::vector<std::string> WaitForDelivery(const std::string& user, size_t count) const;
  // Postfix's log, for failure messages.
  std::string Log() const;

 private:
  std::filesystem::path folder_;
  bool running_ = false;
  int smtp_port_ = 0;
  int submission_port_ = 0;
  int imap_port_ = 0;
  int imaps_port_ = 0;
};

}  // namespace verdanpost::testing_support

#endif  // VERDANPOST_TESTING_REAL_MAIL_SERVERS_H_
