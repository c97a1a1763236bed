#include "testing/tls_test_server.h"

#include <openssl/ssl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

namespace verdanpost::testing_support {
namespace {

void SendPlain(int fd, const std::string& text) {
  (void)!::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
}

// Reads one plain line, byte by byte, so nothing of the handshake is taken.
bool ReadPlainLine(int fd) {
  char byte;
  while (::recv(fd, &byte, 1, 0) == 1) {
    if (byte == '\n') return true;
  }
  return false;
}

}  // namespace

TlsTestServer::TlsTestServer(const std::string& certificate, const std::string& key,
                             bool plain_first)
    : certificate_(certificate), key_(key), plain_first_(plain_first), listener_("tls server") {
  // A client that goes away mid-write must not end the test process.
  ::signal(SIGPIPE, SIG_IGN);
  thread_ = std::thread([this] { Serve(); });
}

TlsTestServer::~TlsTestServer() {
  listener_.Stop();
  thread_.join();
}

void TlsTestServer::Serve() {
  for (;;) {
    int fd = listener_.Accept();
    if (fd < 0) return;
    timeval limit{5, 0};  // a client that stays silent cannot hold the thread
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    ServeConnection(fd);
    ::close(fd);
  }
}

void TlsTestServer::ServeConnection(int fd) {
  if (plain_first_) {
    SendPlain(fd, "220 ready\r\n");
    if (!ReadPlainLine(fd)) return;
    SendPlain(fd, "220 go ahead\r\n");
  }
  std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_server_method()),
                                                        &SSL_CTX_free);
  if (SSL_CTX_use_certificate_chain_file(ctx.get(), certificate_.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx.get(), key_.c_str(), SSL_FILETYPE_PEM) != 1) {
    return;
  }
  std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(ctx.get()), &SSL_free);
  SSL_set_fd(ssl.get(), fd);
  if (SSL_accept(ssl.get()) != 1) return;
  ++handshakes_;
  std::string held;
  size_t taken = 0;
  char buffer[16384];
  for (;;) {
    int got = SSL_read(ssl.get(), buffer, sizeof(buffer));
    if (got <= 0) break;
    taken += static_cast<size_t>(got);
    held.append(buffer, static_cast<size_t>(got));
    if (held.size() > 5) held.erase(0, held.size() - 5);
    if (held == "\r\n.\r\n") {
      std::string reply = "250 " + std::to_string(taken) + "\r\n";
      SSL_write(ssl.get(), reply.data(), static_cast<int>(reply.size()));
      taken = 0;
      held.clear();
    }
  }
  SSL_shutdown(ssl.get());
}

}  // namespace verdanpost::testing_support
