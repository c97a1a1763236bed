#include "testing/real_mail_servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "testing/test_certificates.h"

namespace verdanpost::testing_support {
namespace {

namespace fs = std::filesystem;

const std::string kScript = std::string(VERDANPOST_SOURCE_DIR) + "/testing/real_mail_servers.sh";

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A port on 127.0.0.1 that nothing listens on now; the kernel picks it.
int FreePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

RealMailServers::RealMailServers() {
  char name[] = "/tmp/verdanpost-mail-XXXXXX";
  if (::mkdtemp(name) != nullptr) folder_ = name;
}

RealMailServers::~RealMailServers() {
  Stop();
  std::error_code ignored;
  if (!folder_.empty()) fs::remove_all(folder_, ignored);
}

std::string RealMailServers::Unavailable() {
  if (::geteuid() != 0) return "Postfix and Dovecot need root to start";
  if (::access("/usr/sbin/postfix", X_OK) != 0) return "postfix is not installed";
  if (::access("/usr/sbin/dovecot", X_OK) != 0) return "dovecot-imapd is not installed";
  return "";
}

bool RealMailServers::Start(const Options& options, std::string* err) {
  Stop();
  if (folder_.empty()) {
    *err = "no temporary folder for the mail servers";
    return false;
  }
  try {
    TestCertificates certificates;
    fs::copy_file(certificates.ca_file(), folder_ / "ca.pem", fs::copy_options::overwrite_existing);
    fs::copy_file(certificates.certificate("localhost"), folder_ / "server.pem",
                  fs::copy_options::overwrite_existing);
    fs::copy_file(certificates.key("localhost"), folder_ / "server.key",
                  fs::copy_options::overwrite_existing);
  } catch (const std::exception& e) {
    *err = std::string("certificates: ") + e.what();
    return false;
  }
  {
    std::ofstream users(folder_ / "users", std::ios::trunc);
    for (const std::string& user : options.users) users << user << " secret\n";
    std::ofstream access(folder_ / "access.regexp", std::ios::trunc);
    for (const std::string& line : options.recipient_access) access << line << "\n";
    std::ofstream transport(folder_ / "transport", std::ios::trunc);
    for (const std::string& line : options.transports) transport << line << "\n";
  }
  smtp_port_ = FreePort();
  submission_port_ = FreePort();
  while (submission_port_ == smtp_port_) submission_port_ = FreePort();
  imap_port_ = FreePort();
  while (imap_port_ == smtp_port_ || imap_port_ == submission_port_) imap_port_ = FreePort();
  imaps_port_ = FreePort();
  while (imaps_port_ == smtp_port_ || imaps_port_ == submission_port_ ||
         imaps_port_ == imap_port_) {
    imaps_port_ = FreePort();
  }

  std::string command = "IMAPS_PORT=" + std::to_string(imaps_port_) + " bash " + Quoted(kScript) +
                        " start " + Quoted(folder_.string()) + " 127.0.0.1 " +
                        std::to_string(smtp_port_) + " " + std::to_string(submission_port_) + " " +
                        std::to_string(imap_port_);
  for (const std::string& setting : options.postfix_settings) command += " " + Quoted(setting);
  if (!options.transports.empty()) {
    command += " " + Quoted("transport_maps=texthash:" + (folder_ / "transport").string());
  }
  command += " </dev/null >>" + Quoted((folder_ / "start.log").string()) + " 2>&1";
  running_ = true;
  if (std::system(command.c_str()) != 0) {
    *err = "the mail servers did not start:\n" + ReadAll(folder_ / "start.log") +
           ReadAll(folder_ / "postfix.log") + ReadAll(folder_ / "dovecot.log");
    Stop();
    return false;
  }
  return true;
}

void RealMailServers::Stop() {
  if (!running_) return;
  running_ = false;
  std::string command = "bash " + Quoted(kScript) + " stop " + Quoted(folder_.string()) +
                        " </dev/null >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "real_mail_servers.sh stop failed for %s\n", folder_.c_str());
  }
}

std::vector<std::string> RealMailServers::Delivered(const std::string& user) const {
  std::vector<fs::path> files;
  for (const char* part : {"new", "cur"}) {
    fs::path dir = folder_ / "mail" / user / part;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(dir, ignored)) files.push_back(entry.path());
  }
  // Maildir names start with the delivery time in seconds, then a sequence.
  std::sort(files.begin(), files.end(),
            [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
  std::vector<std::string> messages;
  for (const fs::path& file : files) messages.push_back(ReadAll(file));
  return messages;
}

std::vector<std::string> RealMailServers::WaitForDelivery(const std::string& user,
                                                          size_t count) const {
  // Postfix delivers after it has answered the client; wait for the Maildir,
  // or for an empty queue, which means nothing more is coming. The bound
  // only keeps a broken server from hanging the test.
  const std::string queue_check = "postqueue -c " + Quoted((folder_ / "postfix" / "etc").string()) +
                                  " -p 2>/dev/null | grep -q 'Mail queue is empty'";
  for (int round = 0; round < 600; ++round) {
    std::vector<std::string> messages = Delivered(user);
    if (messages.size() >= count) return messages;
    if (round > 0 && std::system(queue_check.c_str()) == 0) return Delivered(user);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return Delivered(user);
}

std::string RealMailServers::Log() const { return ReadAll(folder_ / "postfix.log"); }

}  // namespace verdanpost::testing_support
