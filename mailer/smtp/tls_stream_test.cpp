#include "mailer/smtp/tls_stream.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <regex>

#include "testing/test_certificates.h"
#include "testing/tls_test_server.h"

namespace verdanpost {
namespace {

using std::chrono::milliseconds;
using testing_support::TestCertificates;
using testing_support::TlsTestServer;

class TlsStreamTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { certificates_ = new TestCertificates(); }
  static void TearDownTestSuite() { delete certificates_; }

  ~TlsStreamTest() override {
    if (fd_ >= 0) ::close(fd_);
  }

  void Serve(const std::string& name, bool plain_first = false) {
    // The old server's thread may wait on the client's last connection.
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    server_ = std::make_unique<TlsTestServer>(certificates_->certificate(name),
                                              certificates_->key(name), plain_first);
  }

  void ConnectPlain(uint16_t port) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  }

  // Connects to the server and runs the handshake; `why` gets the reason for
  // a refusal.
  std::unique_ptr<TlsStream> Start(const std::string& host, const std::string& ca_file,
                                   std::string* why, milliseconds timeout = milliseconds(5000)) {
    ConnectPlain(server_->port());
    return TlsStream::Start(fd_, host, ca_file, TlsStream::Clock::now() + timeout, why);
  }

  // Sends `content` and the end marker; returns the server's answer line.
  std::string Exchange(TlsStream* stream, const std::string& content) {
    size_t written = 0;
    EXPECT_TRUE(stream->Write(content + "\r\n.\r\n", milliseconds(5000), false, &written));
    EXPECT_EQ(written, content.size() + 5);
    std::string answer;
    char buffer[64];
    while (answer.find('\n') == std::string::npos) {
      size_t got = 0;
      auto result =
          stream->Read(buffer, sizeof(buffer), TlsStream::Clock::now() + milliseconds(5000), &got);
      if (result != TlsStream::ReadResult::kData) break;
      answer.append(buffer, got);
    }
    return answer;
  }

  // Reads a plain line from the socket, before any handshake.
  std::string ReadPlainLine() {
    std::string line;
    char byte;
    while (::recv(fd_, &byte, 1, 0) == 1 && byte != '\n') line.push_back(byte);
    return line;
  }

  static TestCertificates* certificates_;
  std::unique_ptr<TlsTestServer> server_;
  int fd_ = -1;
};

TestCertificates* TlsStreamTest::certificates_ = nullptr;

TEST_F(TlsStreamTest, ImplicitTlsCarriesDataBothWays) {
  Serve("localhost");
  std::string why;
  for (const std::string host : {"localhost", "127.0.0.1"}) {
    SCOPED_TRACE(host);
    std::unique_ptr<TlsStream> stream = Start(host, certificates_->ca_file(), &why);
    ASSERT_NE(stream, nullptr) << why;
    EXPECT_EQ(Exchange(stream.get(), "hello"), "250 10\r\n");
    // Larger than the engine's buffers and a TLS record, so writes are
    // partial and the flushes loop.
    std::string big(3 * 1024 * 1024 + 7, 'x');
    EXPECT_EQ(Exchange(stream.get(), big), "250 " + std::to_string(big.size() + 5) + "\r\n");
    stream->Shutdown();
  }
  EXPECT_EQ(server_->handshakes(), 2);
}

TEST_F(TlsStreamTest, UpgradesAConnectionThatBeganInPlainText) {
  Serve("localhost", /*plain_first=*/true);
  ConnectPlain(server_->port());
  EXPECT_EQ(ReadPlainLine(), "220 ready\r");
  ASSERT_EQ(::send(fd_, "STARTTLS\r\n", 10, 0), 10);
  EXPECT_EQ(ReadPlainLine(), "220 go ahead\r");
  std::string why;
  std::unique_ptr<TlsStream> stream =
      TlsStream::Start(fd_, "localhost", certificates_->ca_file(),
                       TlsStream::Clock::now() + milliseconds(5000), &why);
  ASSERT_NE(stream, nullptr) << why;
  EXPECT_EQ(Exchange(stream.get(), "secret"), "250 11\r\n");
}

TEST_F(TlsStreamTest, RefusesServersItCannotTrust) {
  std::string why;
  const std::string ca = certificates_->ca_file();
  {
    // Signed by the authority, for another name. (A name is checked against
    // a real server in mailer_secure_interop_test; this is the address.)
    Serve("other");
    EXPECT_EQ(Start("127.0.0.1", ca, &why), nullptr);
    EXPECT_EQ(why, "the server's certificate is not for 127.0.0.1");
    EXPECT_EQ(server_->handshakes(), 0);
  }
  {
    Serve("untrusted");  // the right name, an unknown authority
    EXPECT_EQ(Start("localhost", ca, &why), nullptr);
    EXPECT_EQ(why,
              "the server's certificate is not trusted (unable to get local issuer "
              "certificate); it is not signed by an authority in CAFile " +
                  ca);
  }
  {
    // Signed by the authority, for the name, but expired: only that is told.
    Serve("expired");
    EXPECT_EQ(Start("localhost", ca, &why), nullptr);
    EXPECT_TRUE(std::regex_match(why, std::regex("the server's certificate expired on "
                                                 "20[0-9][0-9]-[01][0-9]-[0-3][0-9]; its "
                                                 "operator must renew it")))
        << why;
    // An authority that expired: the server's own certificate is not blamed.
    Serve("under_expired_ca");
    EXPECT_EQ(Start("localhost", certificates_->expired_ca_file(), &why), nullptr);
    EXPECT_EQ(why, "the certificate of an authority that vouches for the server's has expired");
  }
  {
    Serve("localhost");  // the test's own authority is not in the system's store
    EXPECT_EQ(Start("localhost", "", &why), nullptr);
    EXPECT_EQ(why,
              "the server's certificate is not trusted (unable to get local issuer "
              "certificate); name the authority that signed it in CAFile");
  }
  {
    Serve("localhost");
    EXPECT_EQ(Start("localhost", "/nonexistent/ca.pem", &why), nullptr);
    EXPECT_EQ(why.rfind("the certificates in CAFile /nonexistent/ca.pem cannot be read (", 0), 0)
        << why;
  }
  {
    Serve("localhost", /*plain_first=*/true);  // speaks plain text where TLS is due
    EXPECT_EQ(Start("localhost", ca, &why), nullptr);
    EXPECT_EQ(why.rfind("the TLS handshake with localhost failed (", 0), 0) << why;
  }
}

TEST_F(TlsStreamTest, SilentOrClosingServersEndTheHandshake) {
  std::string why;
  // A listener that accepts and never answers.
  int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(::listen(silent, 1), 0);
  ::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length);
  ConnectPlain(ntohs(address.sin_port));
  EXPECT_EQ(TlsStream::Start(fd_, "localhost", certificates_->ca_file(),
                             TlsStream::Clock::now() + milliseconds(200), &why),
            nullptr);
  EXPECT_EQ(why, "the TLS handshake with localhost timed out");
  ::close(::accept(silent, nullptr, nullptr));
  // The same listener, now closing what it accepted.
  ConnectPlain(ntohs(address.sin_port));
  int accepted = ::accept(silent, nullptr, nullptr);
  ::close(accepted);
  EXPECT_EQ(TlsStream::Start(fd_, "localhost", certificates_->ca_file(),
                             TlsStream::Clock::now() + milliseconds(2000), &why),
            nullptr);
  EXPECT_EQ(why, "the server closed the connection during the TLS handshake");
  ::close(silent);
}

}  // namespace
}  // namespace verdanpost
