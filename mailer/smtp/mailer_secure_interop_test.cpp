// The mailer against a real SMTP server (aiosmtpd) on loopback with TLS and
// sign-in, trusting a certificate authority made by the test.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "mailer/smtp/mailer.h"
#include "testing/python_smtp_server.h"
#include "testing/test_certificates.h"

namespace verdanpost {
namespace {

namespace fs = std::filesystem;
using testing_support::TestCertificates;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs testing/smtp_secure_server.py, one server at a time.
class MailerSecureInteropTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { certificates_ = new TestCertificates(); }
  static void TearDownTestSuite() { delete certificates_; }

  MailerSecureInteropTest() {
    if (const char* old = std::getenv("VERDANPOST_SERVERS")) saved_ = old;
    ::setenv("VERDANPOST_SERVERS", (dir_ / "servers.ini").c_str(), 1);
  }
  ~MailerSecureInteropTest() override {
    server_.Stop();
    ::setenv("VERDANPOST_SERVERS", saved_.c_str(), 1);
    fs::remove_all(dir_);
  }

  void SetUp() override {
    if (!PythonSmtpServer::Available()) {
      GTEST_FAIL() << "aiosmtpd is not installed (scripts/install-deps.sh installs it)";
    }
  }

  // Starts a server ("starttls", "tls" or "plain") with the certificate
  // `name` of TestCertificates, leaving out the sign-in `mechanism` if given.
  void Start(const std::string& security, const std::string& name = "localhost",
             const std::string& mechanism = "") {
    server_.Stop();
    fs::remove_all(dir_ / "out");
    fs::create_directories(dir_ / "out");
    std::vector<std::string> args{"127.0.0.1", (dir_ / "out").string(), security,
                                  certificates_->certificate(name), certificates_->key(name)};
    if (!mechanism.empty()) args.push_back(mechanism);
    std::string err;
    ASSERT_TRUE(server_.Start("smtp_secure_server.py", args, &err)) << err;
    server_name_ = "localhost:" + std::to_string(server_.port());
  }

  // The server's section: `keys` and the test's authority as CAFile.
  void Settings(const std::string& keys, mode_t mode = 0600) {
    std::string path = (dir_ / "servers.ini").string();
    std::ofstream(path, std::ios::trunc)
        << "[" << server_name_ << "]\nCAFile = " << certificates_->ca_file() << "\n"
        << keys;
    ::chmod(path.c_str(), mode);
  }

  void Send() {
    mailer_ = std::make_unique<Mailer>();
    mailer_->set_server_name(server_name_);
    mailer_->SendMessage("ann@example.org", "bob@example.org", "", "hidden@example.org", "Hi",
                         "Hello over TLS\r\n");
  }

  void ExpectOutcome(int32_t code, const std::string& message) {
    EXPECT_EQ(mailer_->error_code(), code);
    EXPECT_EQ(mailer_->error_message(), message);
  }

  void ExpectDelivered() {
    ExpectOutcome(0, "Message sent");
    EXPECT_EQ(ReadAll(dir_ / "out" / "0.envelope"),
              "ann@example.org\nbob@example.org\nhidden@example.org\n");
    std::string content = ReadAll(dir_ / "out" / "0.content");
    EXPECT_NE(content.find("\r\n\r\nHello over TLS\r\n"), std::string::npos) << content;
  }

  std::string AuthLog() { return ReadAll(dir_ / "out" / "auth.log"); }

  static TestCertificates* certificates_;
  fs::path dir_ = fs::temp_directory_path() / ("secure_interop_" + std::to_string(::getpid()));
  std::string saved_;
  PythonSmtpServer server_;
  std::string server_name_;
  std::unique_ptr<Mailer> mailer_;
};

TestCertificates* MailerSecureInteropTest::certificates_ = nullptr;

const char kLogin[] = "User = ann\nPassword = s3cret pass\n";

TEST_F(MailerSecureInteropTest, StartTlsWithPlainSignInDelivers) {
  Start("starttls");
  Settings(std::string("Security = starttls\n") + kLogin);
  Send();
  ExpectDelivered();
  EXPECT_EQ(AuthLog(), "PLAIN ann ok\n");
}

TEST_F(MailerSecureInteropTest, ImplicitTlsWithSignInDelivers) {
  Start("tls");
  Settings(std::string("Security = tls\n") + kLogin);
  Send();
  ExpectDelivered();
  EXPECT_EQ(AuthLog(), "PLAIN ann ok\n");
}

TEST_F(MailerSecureInteropTest, LoginWhenTheServerOffersOnlyThat) {
  Start("starttls", "localhost", "PLAIN");
  // The password from a command, as from a keyring.
  Settings("Security = starttls\nUser = ann\nPasswordCommand = printf 's3cret pass\\nrest\\n'\n");
  Send();
  ExpectDelivered();
  EXPECT_EQ(AuthLog(), "LOGIN ann ok\n");
}

TEST_F(MailerSecureInteropTest, WrongPasswordGivesTheServersCode) {
  Start("starttls");
  Settings("Security = starttls\nUser = ann\nPassword = guess\n");
  Send();
  ExpectOutcome(535, "Server returned AUTH error");
  EXPECT_EQ(AuthLog(), "PLAIN ann refused\n");
}

TEST_F(MailerSecureInteropTest, ServersThatCannotBeTrustedAreRefused) {
  {
    Start("starttls", "other");
    Settings(std::string("Security = starttls\n") + kLogin);
    Send();
    ExpectOutcome(56,
                  "Could not start a secure connection: the server's certificate is not for "
                  "localhost");
  }
  {
    Start("tls", "untrusted");
    Settings(std::string("Security = tls\n") + kLogin);
    Send();
    ExpectOutcome(56,
                  "Could not start a secure connection: the server's certificate is not trusted "
                  "(unable to get local issuer certificate); it is not signed by an authority "
                  "in CAFile " +
                      certificates_->ca_file());
  }
  {
    Start("plain");
    Settings(std::string("Security = starttls\n") + kLogin);
    Send();
    ExpectOutcome(56,
                  "Could not start a secure connection: the server does not offer STARTTLS; ask "
                  "its operator, or use Security = tls on the server's TLS port (465)");
  }
  {
    Start("starttls");
    Settings(std::string("Security = starttls\n") + kLogin, 0644);
    Send();
    std::string path = (dir_ / "servers.ini").string();
    ExpectOutcome(58, "Server settings are not valid: " + path +
                          " holds a Password and can be read by other users; make it private "
                          "with chmod 600 " +
                          path);
  }
  EXPECT_EQ(AuthLog(), "");
}

}  // namespace
}  // namespace verdanpost
