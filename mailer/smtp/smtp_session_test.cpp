// The session's EHLO features against the scripted peer: pipelining and its
// round trips, and the refusals that keep a password off a plain wire.
#include "mailer/smtp/smtp_session.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "mailer/smtp/base64.h"
#include "mailer/smtp/mailer.h"
#include "mailer/smtp/smtp_extensions.h"
#include "testing/scripted_smtp_peer.h"

namespace verdanpost {
namespace {

namespace fs = std::filesystem;
using testing_support::PeerReply;
using testing_support::ScriptedSmtpPeer;
using testing_support::SmtpStep;

constexpr char kPassword[] = "Tr0ub4dor&3";
const char kOffersPipelining[] = "250-peer.test\r\n250-PIPELINING\r\n250 8BITMIME\r\n";

// Long enough that a loaded machine never hits them.
SmtpTimeouts GenerousTimeouts() {
  SmtpTimeouts t;
  t.greeting = t.helo = t.mail_from = t.rcpt_to = std::chrono::seconds(30);
  t.data = t.content_send = t.end_of_data = t.quit = std::chrono::seconds(30);
  return t;
}

class SmtpSessionTest : public ::testing::Test {
 protected:
  SmtpSessionTest() {
    if (const char* old = std::getenv("VERDANPOST_SERVERS")) saved_ = old;
    ::setenv("VERDANPOST_SERVERS", (dir_ / "servers.ini").c_str(), 1);
    NewPeer();
  }
  ~SmtpSessionTest() override {
    ::setenv("VERDANPOST_SERVERS", saved_.c_str(), 1);
    fs::remove_all(dir_);
  }

  ScriptedSmtpPeer& NewPeer() {
    peer_ = std::make_unique<ScriptedSmtpPeer>();
    mailer_ = std::make_unique<Mailer>();
    mailer_->set_server_name(peer_->server_name());
    mailer_->set_timeouts_for_testing(GenerousTimeouts());
    return *peer_;
  }

  // The peer's section of the settings file, with `keys` in it.
  void Settings(const std::string& keys) {
    fs::create_directories(dir_);
    std::string path = (dir_ / "servers.ini").string();
    std::ofstream(path, std::ios::trunc) << "[" << peer_->server_name() << "]\n" << keys;
    ::chmod(path.c_str(), 0600);
  }

  void SendTo(size_t recipients) {
    // r0 in To, the others in Bcc: the recipients r0, r1, ... in order.
    std::string bcc;
    for (size_t i = 1; i < recipients; ++i) {
      bcc += (i > 1 ? ", " : "") + std::string("r") + std::to_string(i) + "@example.org";
    }
    mailer_->SendMessage("ann@example.org", "r0@example.org", "", bcc, "Hi", "Hello\r\n");
  }

  void ExpectOutcome(int32_t code, const std::string& message) {
    EXPECT_EQ(mailer_->error_code(), code);
    EXPECT_EQ(mailer_->error_message(), message);
  }

  // Nothing of the password, plain or in Base64, reached the peer.
  void ExpectNoPasswordOnTheWire() {
    std::string wire = peer_->transcript();
    EXPECT_EQ(wire.find(kPassword), std::string::npos);
    EXPECT_EQ(wire.find(Base64(kPassword)), std::string::npos);
    EXPECT_EQ(wire.find("AUTH"), std::string::npos);
  }

  void ExpectHandshakeFailed() {
    EXPECT_EQ(mailer_->error_code(), 56);
    EXPECT_EQ(
        mailer_->error_message().rfind(
            "Could not start a secure connection: the TLS handshake with 127.0.0.1 failed (", 0),
        0u)
        << mailer_->error_message();
    ExpectNoPasswordOnTheWire();
  }

  fs::path dir_ = fs::temp_directory_path() / ("smtp_session_" + std::to_string(::getpid()));
  std::string saved_;
  std::unique_ptr<ScriptedSmtpPeer> peer_;
  std::unique_ptr<Mailer> mailer_;
};

TEST_F(SmtpSessionTest, PipeliningSendsTheEnvelopeAndDataInOneWrite) {
  // Lockstep, as without settings: one wait per command.
  SendTo(100);
  ExpectOutcome(0, "Message sent");
  EXPECT_EQ(peer_->round_trips(), std::vector<int>{104});

  NewPeer().SetReply(SmtpStep::kHelo, PeerReply::Text(kOffersPipelining));
  Settings("Greeting = EHLO\n");
  SendTo(100);
  ExpectOutcome(0, "Message sent");
  // EHLO, then MAIL FROM to DATA, then the content after 354.
  EXPECT_EQ(peer_->round_trips(), std::vector<int>{3});
  std::vector<std::string> commands = peer_->commands();
  ASSERT_EQ(commands.size(), 104u);
  EXPECT_EQ(commands[0], "EHLO " + LocalHostName());
  EXPECT_EQ(commands[1], "MAIL FROM:<ann@example.org>");
  EXPECT_EQ(commands[101], "RCPT TO:<r99@example.org>");
  EXPECT_EQ(commands[102], "DATA");
  EXPECT_EQ(commands[103], "QUIT");

  // EHLO without the offer stays in lockstep.
  NewPeer();
  Settings("Greeting = EHLO\n");
  SendTo(100);
  ExpectOutcome(0, "Message sent");
  EXPECT_EQ(peer_->round_trips(), std::vector<int>{104});

  // More commands than one write takes: still every reply in order.
  NewPeer().SetReply(SmtpStep::kHelo, PeerReply::Text(kOffersPipelining));
  Settings("Greeting = EHLO\n");
  SendTo(600);
  ExpectOutcome(0, "Message sent");
  EXPECT_EQ(peer_->round_trips(), std::vector<int>{5});
  EXPECT_EQ(peer_->commands().size(), 604u);
}

TEST_F(SmtpSessionTest, PipelinedRefusalsGiveTheLockstepOutcome) {
  struct Case {
    SmtpStep step;
    size_t rcpt;  // for kRcptTo
    const char* reply;
    int32_t code;
    const char* message;
  } cases[] = {
      {SmtpStep::kMailFrom, 0, "550 no sender\r\n", 550, "Server returned MAIL FROM error"},
      {SmtpStep::kRcptTo, 1, "251 will forward\r\n", 251, "Server returned RCPT TO error"},
      {SmtpStep::kRcptTo, 2, "550 no such user\r\n", 550, "Server returned RCPT TO error"},
      {SmtpStep::kData, 0, "554 no valid recipients\r\n", 554, "Server returned DATA error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    ScriptedSmtpPeer& peer = NewPeer();
    peer.SetReply(SmtpStep::kHelo, PeerReply::Text(kOffersPipelining));
    if (c.step == SmtpStep::kRcptTo) {
      peer.SetRcptReply(c.rcpt, PeerReply::Text(c.reply));
    } else {
      peer.SetReply(c.step, PeerReply::Text(c.reply));
    }
    Settings("Greeting = EHLO\n");
    SendTo(3);
    ExpectOutcome(c.code, c.message);
    // What was in the one write went; nothing after it: no content, no QUIT.
    std::vector<std::string> commands = peer.commands();
    EXPECT_EQ(commands.size(), 6u);
    EXPECT_EQ(commands.back(), "DATA");
    EXPECT_TRUE(peer.received_messages().empty());
  }
  {
    NewPeer().SetReply(SmtpStep::kHelo, PeerReply::Text("502 EHLO not here\r\n"));
    Settings("Greeting = EHLO\n");
    SendTo(1);
    ExpectOutcome(502, "Server returned EHLO error");
  }
}

TEST_F(SmtpSessionTest, NoPasswordCrossesAPlainConnection) {
  const std::string login = std::string("User = ann\nPassword = ") + kPassword + "\n";
  {
    Settings("Security = none\nGreeting = EHLO\n" + login);
    SendTo(1);
    ExpectOutcome(57,
                  "Could not authenticate: the password would cross the network in clear text; "
                  "set Security to starttls or tls for " +
                      peer_->server_name());
    EXPECT_EQ(peer_->connections(), 0);
  }
  {
    // STARTTLS is not offered: no fall-back to plain text.
    NewPeer().SetReply(SmtpStep::kHelo,
                       PeerReply::Text("250-peer.test\r\n250 AUTH PLAIN LOGIN\r\n"));
    Settings("Security = starttls\n" + login);
    SendTo(1);
    ExpectOutcome(56,
                  "Could not start a secure connection: the server does not offer STARTTLS; ask "
                  "its operator, or use Security = tls on the server's TLS port (465)");
    ExpectNoPasswordOnTheWire();
  }
  {
    // Offered, then refused.
    NewPeer().SetReply(SmtpStep::kHelo,
                       PeerReply::Text("250-peer.test\r\n250-STARTTLS\r\n250 AUTH PLAIN\r\n"));
    Settings("Security = starttls\n" + login);
    SendTo(1);
    ExpectOutcome(500, "Server returned STARTTLS error");
    ExpectNoPasswordOnTheWire();
  }
  {
    // Accepted by a server that then speaks no TLS.
    ScriptedSmtpPeer& peer = NewPeer();
    peer.SetReply(SmtpStep::kHelo,
                  PeerReply::Text("250-peer.test\r\n250-STARTTLS\r\n250 AUTH PLAIN\r\n"));
    peer.SetReply(SmtpStep::kStartTls, PeerReply::Text("220 go ahead\r\n"));
    Settings("Security = starttls\n" + login);
    SendTo(1);
    ExpectHandshakeFailed();
  }
  {
    // Plain text after the reply to STARTTLS could be anyone's.
    ScriptedSmtpPeer& peer = NewPeer();
    peer.SetReply(SmtpStep::kHelo,
                  PeerReply::Text("250-peer.test\r\n250-STARTTLS\r\n250 AUTH PLAIN\r\n"));
    peer.SetReply(SmtpStep::kStartTls, PeerReply::Text("220 go ahead\r\n250-AUTH PLAIN\r\n"));
    Settings("Security = starttls\n" + login);
    SendTo(1);
    ExpectOutcome(56,
                  "Could not start a secure connection: the server sent more than its reply to "
                  "STARTTLS, which an attacker on the way could have added");
    ExpectNoPasswordOnTheWire();
  }
  {
    // Implicit TLS to a plain server.
    NewPeer();
    Settings("Security = tls\n" + login);
    SendTo(1);
    ExpectHandshakeFailed();
  }
}

TEST_F(SmtpSessionTest, SettingsAndPasswordProblemsEndTheCallBeforeConnecting) {
  {
    Settings("Security = ssl\n");
    SendTo(1);
    EXPECT_EQ(mailer_->error_code(), 58);
    EXPECT_EQ(
        mailer_->error_message().rfind("Server settings are not valid: Security is \"ssl\"", 0),
        0u);
  }
  {
    Settings("Security = tls\nUser = ann\nPasswordCommand = exit 1\n");
    SendTo(1);
    ExpectOutcome(57, "Could not authenticate: the password command failed (exit status 1)");
  }
  EXPECT_EQ(peer_->connections(), 0);
}

}  // namespace
}  // namespace verdanpost
