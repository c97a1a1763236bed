// What a send call tells beyond its code (the server's words, where and why
// a connection failed, the recipients left out), per-recipient delivery,
// kept sessions, the ESMTP manners and long lines, against the scripted
// peer.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "mailer/smtp/mailer.h"
#include "mailer/smtp/quoted_printable.h"
#include "mailer/smtp/reply_reader.h"
#include "mailer/smtp/smtp_session.h"
#include "testing/scripted_smtp_peer.h"

namespace verdanpost {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using testing_support::PeerReply;
using testing_support::ScriptedSmtpPeer;
using testing_support::SmtpStep;

const char kPipelining[] = "250-peer.test\r\n250-PIPELINING\r\n250 8BITMIME\r\n";

SmtpTimeouts Timeouts(std::chrono::milliseconds each) {
  SmtpTimeouts t;
  t.greeting = t.helo = t.mail_from = t.rcpt_to = each;
  t.data = t.content_send = t.end_of_data = t.quit = each;
  return t;
}

size_t CountOf(const std::vector<std::string>& commands, const std::string& prefix) {
  return static_cast<size_t>(std::count_if(commands.begin(), commands.end(),
                                           [&](const auto& c) { return c.rfind(prefix, 0) == 0; }));
}

class MailerDeliveryTest : public ::testing::Test {
 protected:
  MailerDeliveryTest() {
    if (const char* old = std::getenv("VERDANPOST_SERVERS")) saved_ = old;
    ::setenv("VERDANPOST_SERVERS", (dir_ / "servers.ini").c_str(), 1);
    NewPeer();
  }
  ~MailerDeliveryTest() override {
    ::setenv("VERDANPOST_SERVERS", saved_.c_str(), 1);
    fs::remove_all(dir_);
  }

  ScriptedSmtpPeer& NewPeer() {
    peer_ = std::make_unique<ScriptedSmtpPeer>();
    mailer_ = std::make_unique<Mailer>();
    mailer_->set_server_name(peer_->server_name());
    mailer_->set_timeouts_for_testing(Timeouts(std::chrono::seconds(30)));
    fs::remove(dir_ / "servers.ini");
    return *peer_;
  }

  // The peer is spoken to with EHLO, and answers it with `reply`.
  void Ehlo(const std::string& reply) {
    peer_->SetReply(SmtpStep::kHelo, PeerReply::Text(reply));
    fs::create_directories(dir_);
    std::string path = (dir_ / "servers.ini").string();
    std::ofstream(path, std::ios::trunc) << "[" << peer_->server_name() << "]\nGreeting = EHLO\n";
    ::chmod(path.c_str(), 0600);
  }

  void Send(const std::string& to, const std::string& bcc = "",
            const std::string& text = "Hello\r\n") {
    mailer_->SendMessage("ann@example.org", to, "", bcc, "Hi", text);
  }

  void ExpectOutcome(int32_t code, const std::string& message) {
    EXPECT_EQ(mailer_->error_code(), code);
    EXPECT_EQ(mailer_->error_message(), message);
  }

  fs::path dir_ = fs::temp_directory_path() / ("mailer_delivery_" + std::to_string(::getpid()));
  std::string saved_;
  std::unique_ptr<ScriptedSmtpPeer> peer_;
  std::unique_ptr<Mailer> mailer_;
};

TEST_F(MailerDeliveryTest, TheServersWordsAndTheReasonReachTheCaller) {
  {  // Sent: the reply that accepted the message.
    peer_->SetReply(SmtpStep::kEndOfData, PeerReply::Text("250 2.0.0 Ok: queued as 4F1\r\n"));
    Send("bob@example.org");
    ExpectOutcome(0, "Message sent");
    EXPECT_EQ(mailer_->server_reply(), "250 2.0.0 Ok: queued as 4F1");
    EXPECT_EQ(mailer_->failure_reason(), "");
    EXPECT_EQ(mailer_->server_address(), peer_->server_name());
  }
  {  // Refused: every line of the reply, codes and all.
    NewPeer().SetRcptReply(
        0, PeerReply::Text("452-4.5.3 Error: too many recipients\r\n452 4.5.3 Try later\r\n"));
    Send("bob@example.org");
    ExpectOutcome(452, "Server returned RCPT TO error");
    EXPECT_EQ(mailer_->server_reply(), "452-4.5.3 Error: too many recipients\n452 4.5.3 Try later");
    EXPECT_EQ(mailer_->failure_reason(), "");
  }
  {  // No reply decided it: the system's reason instead.
    uint16_t port = NewPeer().port();
    std::string name = peer_->server_name();
    peer_.reset();
    Send("bob@example.org");
    ExpectOutcome(6, "Could not connect to server");
    EXPECT_EQ(mailer_->server_reply(), "");
    EXPECT_EQ(mailer_->failure_reason(), "Connection refused");
    EXPECT_EQ(mailer_->server_address(), "127.0.0.1:" + std::to_string(port));
  }
  {
    mailer_->set_server_name("no-such-host.invalid");
    Send("bob@example.org");
    ExpectOutcome(6, "Could not connect to server");
    // Without a name server to ask, the lookup cannot even be made.
    EXPECT_TRUE(mailer_->failure_reason() == "no such host" ||
                mailer_->failure_reason() == "the host name could not be looked up now")
        << mailer_->failure_reason();
    EXPECT_EQ(mailer_->server_address(), "no-such-host.invalid:25");
  }
  {
    NewPeer().SetReply(SmtpStep::kMailFrom, PeerReply::Stall());
    mailer_->set_timeouts_for_testing(Timeouts(milliseconds(300)));
    Send("bob@example.org");
    ExpectOutcome(-1, "Server returned MAIL FROM error");
    EXPECT_EQ(mailer_->server_reply(), "");
    EXPECT_EQ(mailer_->failure_reason(), "timed out");
  }
  {  // Refused before connecting: neither, and the address stays.
    NewPeer();
    Send("");
    ExpectOutcome(51, "To parameter required");
    EXPECT_EQ(mailer_->server_reply(), "");
    EXPECT_EQ(mailer_->failure_reason(), "");
    EXPECT_EQ(mailer_->server_address(), "");
  }
}

// A source of "250-X" lines that never ends, handed out as a connection
// hands out what it received.
class EndlessReply {
 public:
  SmtpConnection::ReceiveResult Fill(SmtpConnection::Clock::time_point) {
    if (begin_ == held_.size()) {
      held_.clear();
      for (int i = 0; i < 500; ++i) held_ += "250-X\r\n";
      begin_ = 0;
    }
    return SmtpConnection::ReceiveResult::kData;
  }
  std::string_view buffered() const { return std::string_view(held_).substr(begin_); }
  void Consume(size_t count) {
    begin_ += count;
    taken_ += count;
  }
  size_t taken() const { return taken_; }

 private:
  std::string held_;
  size_t begin_ = 0;
  size_t taken_ = 0;
};

// A server answering for ever must not take the client's memory with it.
TEST_F(MailerDeliveryTest, AnEndlessReplyFailsItsStep) {
  {  // The reader stops at the limit, having kept no more than it.
    EndlessReply endless;
    std::vector<std::string> lines;
    ReplyEnd end = ReplyEnd::kWhole;
    EXPECT_EQ(ReadReplyFrom(&endless, SmtpConnection::Clock::now(), &lines, &end), kNoReply);
    EXPECT_EQ(end, ReplyEnd::kTooLong);
    EXPECT_EQ(lines.size(), kMaxReplyLines);
    EXPECT_LE(endless.taken(), kMaxReplyBytes);
  }
  std::string lines;
  for (int i = 0; i < 200000; ++i) lines += "250-X\r\n";  // 1.4 MB, never a last line
  {
    peer_->SetReply(SmtpStep::kHelo, PeerReply::Text(lines));
    Send("bob@example.org");
    ExpectOutcome(-1, "Server returned HELO error");
    EXPECT_EQ(mailer_->failure_reason(), "the server's reply went on past 1,000 lines or 64 KiB");
  }
  {  // Endless in EHLO's reply as well.
    NewPeer();
    Ehlo(lines);
    Send("bob@example.org");
    ExpectOutcome(-1, "Server returned EHLO error");
  }
  {  // One line that never ends.
    NewPeer().SetReply(SmtpStep::kGreeting, PeerReply::Text("220 " + std::string(1 << 20, 'X')));
    Send("bob@example.org");
    ExpectOutcome(-1, "Server returned incorrect response on connection");
    EXPECT_TRUE(peer_->commands().empty());
  }
  {  // Just under both limits is still a reply.
    std::string long_reply;
    for (int i = 0; i < 999; ++i) long_reply += "250-X\r\n";
    NewPeer().SetReply(SmtpStep::kHelo, PeerReply::Text(long_reply + "250 done\r\n"));
    Send("bob@example.org");
    ExpectOutcome(0, "Message sent");
  }
}

TEST_F(MailerDeliveryTest, PartialDeliveryLeavesOutTheRefused) {
  for (bool pipelined : {false, true}) {
    SCOPED_TRACE(pipelined ? "pipelined" : "lockstep");
    NewPeer();
    if (pipelined) Ehlo(kPipelining);
    peer_->SetRcptReplyFor("b@example.org", PeerReply::Text("550 5.1.1 unknown user\r\n"));
    peer_->SetRcptReplyFor("c@example.org", PeerReply::Text("450 4.2.1 mailbox busy\r\n"));
    mailer_->set_partial_delivery(true);
    Send("a@example.org, b@example.org", "c@example.org, d@exa mple.org, e@example.org");
    ExpectOutcome(0, "Message sent");
    EXPECT_EQ(mailer_->refused_recipients(),
              "b@example.org\t550\t550 5.1.1 unknown user\n"
              "c@example.org\t450\t450 4.2.1 mailbox busy\n"
              "d@exa mple.org\t54\tAddress is not valid\n");
    EXPECT_EQ(mailer_->server_reply(), "250 Queued");
    std::vector<std::string> commands = peer_->commands();
    EXPECT_EQ(CountOf(commands, "RCPT TO:"), 4u);  // never the address refused here
    EXPECT_EQ(CountOf(commands, "QUIT"), 1u);
    EXPECT_EQ(peer_->received_messages().size(), 1u);
  }
  {  // Nobody accepted: the call fails with the last refusal, and says QUIT.
    NewPeer().SetReply(SmtpStep::kRcptTo, PeerReply::Text("550 no\r\n"));
    peer_->SetRcptReply(1, PeerReply::Text("551 not here\r\n"));
    mailer_->set_partial_delivery(true);
    Send("a@example.org, b@example.org");
    ExpectOutcome(551, "Server returned RCPT TO error");
    EXPECT_EQ(mailer_->server_reply(), "551 not here");
    EXPECT_EQ(CountOf(peer_->commands(), "QUIT"), 1u);
    EXPECT_TRUE(peer_->received_messages().empty());
  }
  {  // The sender refused still fails the message; so do only bad addresses.
    NewPeer().SetReply(SmtpStep::kMailFrom, PeerReply::Text("553 sender rejected\r\n"));
    mailer_->set_partial_delivery(true);
    Send("a@example.org");
    ExpectOutcome(553, "Server returned MAIL FROM error");
    Send("a@exa mple.org");
    ExpectOutcome(54, "Address is not valid");
    EXPECT_EQ(mailer_->refused_recipients(), "");
  }
  {  // Without the switch, the first refusal still ends the call.
    NewPeer().SetRcptReply(1, PeerReply::Text("550 no\r\n"));
    Send("a@example.org, b@example.org, c@example.org");
    ExpectOutcome(550, "Server returned RCPT TO error");
    EXPECT_EQ(CountOf(peer_->commands(), "RCPT TO:"), 2u);
  }
}

TEST_F(MailerDeliveryTest, ARecipientLimitSplitsTheMessageIntoTransactions) {
  for (bool pipelined : {false, true}) {
    SCOPED_TRACE(pipelined ? "pipelined" : "lockstep");
    NewPeer();
    if (pipelined) Ehlo(kPipelining);
    // Two recipients per transaction.
    for (size_t i = 2; i < 10; ++i) {
      peer_->SetRcptReply(i, PeerReply::Text("452 4.5.3 Error: too many recipients\r\n"));
    }
    mailer_->set_partial_delivery(true);
    Send("r0@example.org", "r1@example.org, r2@example.org, r3@example.org, r4@example.org");
    ExpectOutcome(0, "Message sent");
    EXPECT_EQ(mailer_->refused_recipients(), "");
    std::vector<std::string> commands = peer_->commands();
    EXPECT_EQ(CountOf(commands, "MAIL FROM:"), 3u);
    EXPECT_EQ(peer_->received_messages().size(), 3u);
    // Each recipient got it once.
    for (int r = 0; r < 5; ++r) {
      std::string rcpt = "RCPT TO:<r" + std::to_string(r) + "@example.org>";
      EXPECT_GE(CountOf(commands, rcpt), 1u) << rcpt;
    }
  }
  {  // A 452 for the first recipient of a transaction is a refusal, not a
     // limit: no endless round of transactions.
    NewPeer().SetReply(SmtpStep::kRcptTo,
                       PeerReply::Text("452 4.5.3 Error: too many recipients\r\n"));
    mailer_->set_partial_delivery(true);
    Send("r0@example.org", "r1@example.org");
    ExpectOutcome(452, "Server returned RCPT TO error");
    EXPECT_EQ(CountOf(peer_->commands(), "MAIL FROM:"), 2u);
    EXPECT_EQ(mailer_->refused_recipients(),
              "r0@example.org\t452\t452 4.5.3 Error: too many recipients\n"
              "r1@example.org\t452\t452 4.5.3 Error: too many recipients\n");
  }
  {  // A 452 after an accepted recipient defers even without the code.
    NewPeer().SetRcptReply(1, PeerReply::Text("452 4.3.1 Insufficient system storage\r\n"));
    mailer_->set_partial_delivery(true);
    Send("r0@example.org", "r1@example.org");
    ExpectOutcome(0, "Message sent");
    EXPECT_EQ(peer_->received_messages().size(), 2u);
  }
}

TEST_F(MailerDeliveryTest, TheRecipientLimitLastsForTheKeptSession) {
  // 120 recipients, named after the call: "cNr0@example.org" to "cNr119@...".
  auto send_120 = [this](int call) {
    std::string prefix = "c" + std::to_string(call) + "r";
    std::string bcc;
    for (int r = 1; r < 120; ++r)
      bcc += (r > 1 ? ", " : "") + prefix + std::to_string(r) + "@x.org";
    Send(prefix + "0@x.org", bcc);
  };
  auto rcpts_of = [](const std::vector<std::string>& commands, int call) {
    return CountOf(commands, "RCPT TO:<c" + std::to_string(call) + "r");
  };
  for (bool pipelined : {false, true}) {
    SCOPED_TRACE(pipelined ? "pipelined" : "lockstep");
    NewPeer();
    if (pipelined) Ehlo(kPipelining);
    for (size_t i = 50; i < 120; ++i) {
      peer_->SetRcptReply(i, PeerReply::Text("452 4.5.3 Error: too many recipients\r\n"));
    }
    mailer_->set_partial_delivery(true);
    mailer_->set_keep_connection(true);
    EXPECT_EQ(mailer_->recipient_limit(), 0);
    // The peer is asked only once the session is over: it counts a kept
    // connection as busy.
    send_120(1);
    ExpectOutcome(0, "Message sent");
    EXPECT_EQ(mailer_->refused_recipients(), "");
    EXPECT_EQ(mailer_->recipient_limit(), 50);
    send_120(2);
    ExpectOutcome(0, "Message sent");
    EXPECT_EQ(mailer_->recipient_limit(), 50);
    mailer_->Disconnect();
    EXPECT_EQ(mailer_->recipient_limit(), 50);  // read after the session, too
    send_120(3);
    ExpectOutcome(0, "Message sent");
    EXPECT_EQ(mailer_->recipient_limit(), 50);
    mailer_->Disconnect();

    std::vector<std::string> commands = peer_->commands();
    // 120 at once: 50 taken, the 51st deferred (in lockstep the rest are
    // not asked for), then 50 and 20.
    const size_t full_offer = (pipelined ? 120 : 51) + 50 + 20;
    EXPECT_EQ(rcpts_of(commands, 1), full_offer);
    // The next call of the session asks for 50 at a time from the start:
    // every recipient once, none deferred.
    EXPECT_EQ(rcpts_of(commands, 2), 120u);
    // A new session tries the full size again.
    EXPECT_EQ(rcpts_of(commands, 3), full_offer);
    EXPECT_EQ(CountOf(commands, "MAIL FROM:"), 9u);
    EXPECT_EQ(peer_->received_messages().size(), 9u);
    EXPECT_EQ(peer_->connections(), 2);
  }
}

TEST_F(MailerDeliveryTest, AcceptedMeansSentWhateverQuitGets) {
  {
    peer_->SetReply(SmtpStep::kQuit, PeerReply::Text("500 what\r\n"));
    mailer_->set_partial_delivery(true);
    Send("bob@example.org");
    ExpectOutcome(0, "Message sent");
  }
  {  // Without the switch, as it always was.
    NewPeer().SetReply(SmtpStep::kQuit, PeerReply::Text("500 what\r\n"));
    Send("bob@example.org");
    ExpectOutcome(500, "Server returned QUIT error");
    EXPECT_EQ(mailer_->server_reply(), "500 what");
  }
}

TEST_F(MailerDeliveryTest, AKeptSessionCarriesMessageAfterMessage) {
  for (bool pipelined : {false, true}) {
    SCOPED_TRACE(pipelined ? "pipelined" : "lockstep");
    NewPeer();
    if (pipelined) Ehlo(kPipelining);
    peer_->SetRcptReplyFor("bad@example.org", PeerReply::Text("550 unknown\r\n"));
    mailer_->set_keep_connection(true);
    Send("a@example.org");
    ExpectOutcome(0, "Message sent");
    Send("bad@example.org");
    ExpectOutcome(550, "Server returned RCPT TO error");
    Send("c@example.org");
    ExpectOutcome(0, "Message sent");
    mailer_->Disconnect();
    EXPECT_EQ(peer_->connections(), 1);
    std::vector<std::string> commands = peer_->commands();
    EXPECT_EQ(CountOf(commands, pipelined ? "EHLO" : "HELO"), 1u);
    EXPECT_EQ(CountOf(commands, "MAIL FROM:"), 3u);
    EXPECT_EQ(CountOf(commands, "RSET"), 1u);  // before the third, after the failed second
    EXPECT_EQ(CountOf(commands, "QUIT"), 1u);  // only at the end
    EXPECT_EQ(commands.back(), "QUIT");
    ASSERT_EQ(peer_->received_messages().size(), 2u);
  }
  {  // With pipelining, a message in a kept session costs two round trips.
    NewPeer();
    Ehlo(kPipelining);
    mailer_->set_keep_connection(true);
    for (int i = 0; i < 3; ++i) Send("a@example.org");
    mailer_->Disconnect();
    // EHLO, envelope, content for the first; envelope and content after.
    EXPECT_EQ(peer_->round_trips(), (std::vector<int>{3, 2, 2}));
  }
}

TEST_F(MailerDeliveryTest, AKeptSessionTheServerEndedIsReplacedBeforeTheMessage) {
  const PeerReply endings[] = {
      PeerReply::Disconnect("250 Queued\r\n421 4.4.2 peer.test closing\r\n"),
      PeerReply::Disconnect("250 Queued\r\n"),
  };
  for (const PeerReply& ending : endings) {
    NewPeer().SetReply(SmtpStep::kEndOfData, ending);
    mailer_->set_keep_connection(true);
    Send("a@example.org");
    ExpectOutcome(0, "Message sent");
    Send("b@example.org");
    ExpectOutcome(0, "Message sent");
    mailer_->Disconnect();
    EXPECT_EQ(peer_->connections(), 2);
    EXPECT_EQ(peer_->received_messages().size(), 2u);  // each once
  }
  {  // Closed just as the next message starts: its envelope gets the 421,
     // and the message goes once, on a new connection.
    NewPeer().SetNthReply(SmtpStep::kMailFrom, 1,
                          PeerReply::Disconnect("421 4.4.2 peer.test closing\r\n"));
    mailer_->set_keep_connection(true);
    Send("a@example.org");
    Send("b@example.org");
    ExpectOutcome(0, "Message sent");
    mailer_->Disconnect();
    EXPECT_EQ(peer_->connections(), 2);
    EXPECT_EQ(peer_->received_messages().size(), 2u);
  }
  {  // Once content went, a lost connection is a failure, never a resend.
    NewPeer().SetNthReply(SmtpStep::kEndOfData, 1, PeerReply::Disconnect());
    mailer_->set_keep_connection(true);
    Send("a@example.org");
    Send("b@example.org");
    ExpectOutcome(-1, "Server returned message error");
    EXPECT_EQ(mailer_->failure_reason(), "the server closed the connection");
    EXPECT_EQ(peer_->connections(), 1);
    EXPECT_EQ(CountOf(peer_->commands(), "MAIL FROM:"), 2u);
  }
  {  // Idle past the limit: a polite QUIT, then a new connection.
    NewPeer();
    mailer_->set_keep_connection(true);
    mailer_->set_idle_limit_for_testing(milliseconds(0));
    Send("a@example.org");
    Send("b@example.org");
    ExpectOutcome(0, "Message sent");
    mailer_->Disconnect();
    EXPECT_EQ(peer_->connections(), 2);
    EXPECT_EQ(CountOf(peer_->commands(), "QUIT"), 2u);
  }
  {  // Another server name ends the session.
    NewPeer();
    mailer_->set_keep_connection(true);
    Send("a@example.org");
    mailer_->set_server_name("mailhost");
    EXPECT_EQ(peer_->commands().back(), "QUIT");
  }
}

TEST_F(MailerDeliveryTest, EsmtpSizeAndEightBitBody) {
  const std::string offers = "250-peer.test\r\n250-SIZE 2000\r\n250 8BITMIME\r\n";
  {
    Ehlo(offers);
    Send("bob@example.org", "",
         "Gr\xC3\xBC\xC3\x9F"
         "e\r\n");
    ExpectOutcome(0, "Message sent");
    std::string message = peer_->received_messages().at(0);
    EXPECT_EQ(peer_->commands()[1], "MAIL FROM:<ann@example.org> SIZE=" +
                                        std::to_string(message.size()) + " BODY=8BITMIME");
    EXPECT_NE(message.find("Content-Transfer-Encoding: 8bit\r\n"), std::string::npos);
  }
  {  // ASCII needs no BODY; too large goes nowhere.
    NewPeer();
    Ehlo(offers);
    Send("bob@example.org");
    EXPECT_EQ(peer_->commands()[1].find("BODY"), std::string::npos);
    Send("bob@example.org", "", std::string(3000, 'x'));
    EXPECT_EQ(mailer_->error_code(), 59);
    EXPECT_EQ(mailer_->error_message().rfind("Message is larger than the server accepts (", 0), 0u);
    EXPECT_NE(mailer_->error_message().find(" bytes, at most 2000)"), std::string::npos);
    EXPECT_EQ(CountOf(peer_->commands(), "MAIL FROM:"), 1u);
  }
  {  // Without 8BITMIME the text goes quoted-printable.
    NewPeer();
    Ehlo("250-peer.test\r\n250 PIPELINING\r\n");
    Send("bob@example.org", "",
         "Gr\xC3\xBC\xC3\x9F"
         "e\r\n");
    ExpectOutcome(0, "Message sent");
    std::string message = peer_->received_messages().at(0);
    EXPECT_NE(
        message.find("Content-Transfer-Encoding: quoted-printable\r\n\r\nGr=C3=BC=C3=9Fe\r\n"),
        std::string::npos);
    EXPECT_EQ(peer_->commands()[1], "MAIL FROM:<ann@example.org>");
  }
}

TEST_F(MailerDeliveryTest, LongLinesGoQuotedPrintable) {
  std::string text = "short\r\n" + std::string(1200, 'y') + " \r\n.end\r\n";
  {
    Send("bob@example.org", "", text);
    ExpectOutcome(0, "Message sent");
    std::string message = peer_->received_messages().at(0);
    size_t body = message.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    EXPECT_NE(message.substr(0, body).find("MIME-Version: 1.0\r\n"
                                           "Content-Type: text/plain; charset=UTF-8\r\n"
                                           "Content-Transfer-Encoding: quoted-printable"),
              std::string::npos);
    std::string wire = message.substr(body + 4);
    // Un-stuff the dots, then decode.
    std::string unstuffed;
    for (size_t at = 0; at < wire.size();) {
      size_t end = wire.find("\r\n", at);
      end = end == std::string::npos ? wire.size() : end + 2;
      std::string line = wire.substr(at, end - at);
      EXPECT_LE(line.size(), 78u);
      unstuffed += line.rfind("..", 0) == 0 ? line.substr(1) : line;
      at = end;
    }
    EXPECT_EQ(DecodeQuotedPrintable(unstuffed), text);
  }
  {  // A raw file stays as it stands.
    NewPeer();
    std::string path = (dir_ / "raw.eml").string();
    fs::create_directories(dir_);
    std::ofstream(path, std::ios::binary) << "To: bob@example.org\r\n\r\n" << text;
    mailer_->SendRawMessageFromFile(path);
    ExpectOutcome(0, "Message sent");
    EXPECT_EQ(peer_->received_messages().at(0),
              "To: bob@example.org\r\n\r\nshort\r\n" + std::string(1200, 'y') + " \r\n..end\r\n");
  }
}

}  // namespace
}  // namespace verdanpost
