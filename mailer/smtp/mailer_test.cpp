#include "mailer/smtp/mailer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "mailer/smtp/raw_bcc_cases_test_support.h"
#include "mailer/smtp/smtp_session.h"
#include "testing/message_stamp_mask.h"
#include "testing/scripted_smtp_peer.h"

namespace verdanpost {
namespace {

using std::chrono::milliseconds;
using testing_support::MaskStamp;
using testing_support::PeerReply;
using testing_support::ScriptedSmtpPeer;
using testing_support::SmtpStep;

// The Date and Message-ID lines of a message from ann@example.org, masked.
const std::string kStamp = "Date: DATE\r\nMessage-ID: <ID@example.org>\r\n";

// For the happy paths: long enough that a loaded machine never hits them.
SmtpTimeouts GenerousTimeouts() {
  SmtpTimeouts t;
  t.greeting = t.helo = t.mail_from = t.rcpt_to = std::chrono::seconds(30);
  t.data = t.content_send = t.end_of_data = t.quit = std::chrono::seconds(30);
  return t;
}

// For the cases that wait for a time-out to pass.
SmtpTimeouts ShortTimeouts() {
  SmtpTimeouts t;
  t.greeting = t.helo = t.mail_from = t.rcpt_to = milliseconds(300);
  t.data = t.content_send = t.end_of_data = t.quit = milliseconds(300);
  return t;
}

bool Contains(const std::vector<std::string>& lines, const std::string& wanted) {
  return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

class MailerTest : public ::testing::Test {
 protected:
  MailerTest() : peer_(std::make_unique<ScriptedSmtpPeer>()) { Aim(); }
  ~MailerTest() override { std::filesystem::remove_all(dir_); }

  // A fresh peer and a fresh object, for one more case in the same test.
  ScriptedSmtpPeer& NewPeer(const std::string& address = "127.0.0.1") {
    peer_ = std::make_unique<ScriptedSmtpPeer>(address);
    Aim();
    return *peer_;
  }
  void Aim() {
    mailer_ = std::make_unique<Mailer>();
    mailer_->set_server_name(peer_->server_name());
    mailer_->set_timeouts_for_testing(GenerousTimeouts());
  }

  void SendSimple() {
    mailer_->SendMessage("\"Ann\" <ann@example.org>", "bob@example.org", "", "", "Hi", "Hello\r\n");
  }

  std::string WriteFile(const std::string& name, const std::string& content) {
    std::filesystem::create_directories(dir_);
    std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  void ExpectOutcome(int32_t code, const std::string& message) {
    EXPECT_EQ(mailer_->error_code(), code);
    EXPECT_EQ(mailer_->error_message(), message);
  }

  std::filesystem::path dir_ =
      std::filesystem::temp_directory_path() / ("mailer_test_" + std::to_string(::getpid()));
  std::unique_ptr<ScriptedSmtpPeer> peer_;
  std::unique_ptr<Mailer> mailer_;
};

TEST_F(MailerTest, SendMessageRunsTheWholeDialogue) {
  SendSimple();
  ExpectOutcome(0, "Message sent");
  std::vector<std::string> expected = {"HELO " + LocalHostName(), "MAIL FROM:<ann@example.org>",
                                       "RCPT TO:<bob@example.org>", "DATA", "QUIT"};
  EXPECT_EQ(peer_->commands(), expected);
  ASSERT_EQ(peer_->received_messages().size(), 1u);
  EXPECT_EQ(MaskStamp(peer_->received_messages()[0]),
            "From: \"Ann\" <ann@example.org>\r\nTo: bob@example.org\r\nSubject: Hi\r\n" + kStamp +
                "\r\nHello\r\n");
  // The marker follows the content's own line end: one empty line more.
  EXPECT_NE(peer_->transcript().find("Hello\r\n\r\n.\r\nQUIT\r\n"), std::string::npos);
}

TEST_F(MailerTest, RepliesAreReadWhateverTheirShape) {
  struct Case {
    PeerReply greeting;
    bool accepted;
    int32_t code;  // when not accepted
  };
  const std::string kLong = "220 " + std::string(400, 'x') + "\r\n";
  const Case cases[] = {
      {PeerReply::Text("220-one\r\n220-two\r\n220 three\r\n"), true, 0},
      {PeerReply::Packets({"2", "20 split", " over packets\r\n"}), true, 0},
      {PeerReply::Packets({"220-a\r\n22", "0-b\r\n", "220 c\r\n"}), true, 0},
      {PeerReply::Text(kLong), true, 0},  // the rest of a long line is no reply of its own
      {PeerReply::Text("  +220 ok\r\n"), true, 0},
      {PeerReply::Text("220\r\n"), true, 0},
      {PeerReply::Text("554 go away\r\n"), false, 554},
      {PeerReply::Text("ready\r\n"), false, -1},  // no number: no reply
      {PeerReply::Text("-220 no\r\n"), false, -220},
      {PeerReply::Text("220-one\r\n554 no\r\n"), false, 554},
      // Continuation lines longer than the connection's buffer.
      {PeerReply::Text("220-" + std::string(10000, 'y') + "\r\n220 ok\r\n"), true, 0},
  };
  for (const Case& c : cases) {
    NewPeer().SetReply(SmtpStep::kGreeting, c.greeting);
    SendSimple();
    SCOPED_TRACE(c.greeting.packets[0].substr(0, 40));
    if (c.accepted) {
      ExpectOutcome(0, "Message sent");
    } else {
      ExpectOutcome(c.code, "Server returned incorrect response on connection");
      EXPECT_TRUE(peer_->commands().empty());  // no HELO after a refusal
    }
  }
}

TEST_F(MailerTest, ReplyThatArrivesEarlyIsTakenByTheNextStep) {
  {
    NewPeer().SetReply(SmtpStep::kGreeting, PeerReply::Text("220 hi\r\n554 early\r\n"));
    SendSimple();
    ExpectOutcome(554, "Server returned HELO error");
  }
  {  // Split over packets, with continuation lines.
    NewPeer().SetReply(SmtpStep::kGreeting,
                       PeerReply::Packets({"220 hi\r\n452-a\r\n45", "2 b\r\n"}));
    SendSimple();
    ExpectOutcome(452, "Server returned HELO error");
  }
}

// A dialogue that changes pace in both directions, replies slow and prompt
// and in pieces, reads every reply at its own step.
TEST_F(MailerTest, RepliesSlowAndPromptInTurnAreEachTakenByTheirStep) {
  ScriptedSmtpPeer& peer = NewPeer();
  peer.SetReply(SmtpStep::kGreeting, PeerReply::After(milliseconds(20), "220 slow hello\r\n"));
  peer.SetReply(SmtpStep::kMailFrom, PeerReply::After(milliseconds(20), "250 slow\r\n"));
  peer.SetRcptReply(1, PeerReply::Packets({"25", "0 in pieces\r\n"}));
  peer.SetRcptReply(2, PeerReply::After(milliseconds(20), "250 slow\r\n"));
  peer.SetReply(SmtpStep::kEndOfData, PeerReply::After(milliseconds(20), "451 slow refusal\r\n"));
  mailer_->SendMessage("ann@example.org", "a@example.org, b@example.org", "c@example.org",
                       "d@example.org", "Hi", "Hello\r\n");
  ExpectOutcome(451, "Server returned message error");
  std::vector<std::string> expected = {"HELO " + LocalHostName(),
                                       "MAIL FROM:<ann@example.org>",
                                       "RCPT TO:<a@example.org>",
                                       "RCPT TO:<b@example.org>",
                                       "RCPT TO:<c@example.org>",
                                       "RCPT TO:<d@example.org>",
                                       "DATA"};
  EXPECT_EQ(peer.commands(), expected);
}

// The seven steps that wait for a reply, and the text each one fails with.
constexpr SmtpStep kSteps[] = {SmtpStep::kGreeting, SmtpStep::kHelo, SmtpStep::kMailFrom,
                               SmtpStep::kRcptTo,   SmtpStep::kData, SmtpStep::kEndOfData,
                               SmtpStep::kQuit};
constexpr const char* kStepFailures[] = {"Server returned incorrect response on connection",
                                         "Server returned HELO error",
                                         "Server returned MAIL FROM error",
                                         "Server returned RCPT TO error",
                                         "Server returned DATA error",
                                         "Server returned message error",
                                         "Server returned QUIT error"};

// What a server that is no SMTP server, or that goes away, may answer at a
// step: none of it is a reply, so all of it is a failed receive, code -1.
TEST_F(MailerTest, NoReplyAtAnyStepIsCodeMinusOneNeverZero) {
  const auto& steps = kSteps;
  const auto& messages = kStepFailures;
  const PeerReply answers[] = {
      PeerReply::Disconnect(),                  // closed before any reply
      PeerReply::Disconnect("25"),              // cut off in the code
      PeerReply::Disconnect("250 ok"),          // cut off before its line feed
      PeerReply::Disconnect("250-a\r\n250-b"),  // cut off in a continuation
      PeerReply::Disconnect("250-a\r\n"),       // closed after continuation lines
      PeerReply::Text("+OK POP3 ready\r\n"),    // no number
      PeerReply::Text("* OK IMAP ready\r\n"),
      PeerReply::Text("\r\n"),
      PeerReply::Text("000 zero\r\n"),  // 0 would read as "Message sent"
      PeerReply::Reset(),
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    for (const PeerReply& answer : answers) {
      // A reset that comes at once may beat the connect's own check, which
      // then rightly reports "Could not connect to server".
      if (steps[i] == SmtpStep::kGreeting && answer.action == PeerReply::Action::kReset) continue;
      SCOPED_TRACE(std::string(messages[i]) + " / " +
                   (answer.packets.empty() ? "(nothing)" : answer.packets[0]));
      NewPeer().SetReply(steps[i], answer);
      SendSimple();
      ExpectOutcome(-1, messages[i]);
      // Only a message the server took sees a QUIT.
      EXPECT_EQ(Contains(peer_->commands(), "QUIT"), steps[i] == SmtpStep::kQuit);
    }
  }
}

TEST_F(MailerTest, EachRefusedStepEndsTheCallWithoutQuit) {
  struct Case {
    SmtpStep step;
    std::string reply;
    int32_t code;
    std::string message;
  };
  const Case cases[] = {
      {SmtpStep::kHelo, "501 bad\r\n", 501, "Server returned HELO error"},
      {SmtpStep::kMailFrom, "550 no\r\n", 550, "Server returned MAIL FROM error"},
      {SmtpStep::kRcptTo, "251 forwarded\r\n", 251, "Server returned RCPT TO error"},
      {SmtpStep::kData, "250 ok\r\n", 250, "Server returned DATA error"},
      {SmtpStep::kEndOfData, "552 too big\r\n", 552, "Server returned message error"},
      {SmtpStep::kQuit, "250 ok\r\n", 250, "Server returned QUIT error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    NewPeer().SetReply(c.step, PeerReply::Text(c.reply));
    SendSimple();
    ExpectOutcome(c.code, c.message);
    EXPECT_EQ(Contains(peer_->commands(), "QUIT"), c.step == SmtpStep::kQuit);
  }
}

TEST_F(MailerTest, FailedSendsGiveTheStepsCode) {
  // Closed after 354: the first send of content goes (the server's system
  // answers it with a reset), the sends after it fail, without SIGPIPE.
  {
    NewPeer().SetReply(SmtpStep::kData, PeerReply::Disconnect("354 go\r\n"));
    std::string path = WriteFile("big.txt", std::string(200000, 'x'));
    mailer_->SendMessageFromFile("ann@example.org", "bob@example.org", "", "", "", path);
    ExpectOutcome(10, "Could not write message to the server");
  }
  {  // The text goes in one send, so the marker is the send that fails, or,
     // if the reset comes late, the wait for its reply.
    NewPeer().SetReply(SmtpStep::kData, PeerReply::Disconnect("354 go\r\n"));
    SendSimple();
    if (mailer_->error_code() == 11) {
      EXPECT_EQ(mailer_->error_message(), "Could not write message ending to the server");
    } else {
      ExpectOutcome(-1, "Server returned message error");
    }
  }
}

TEST_F(MailerTest, ServerClosingAtAnyStepFailsTheNextOne) {
  struct Case {
    SmtpStep step;
    std::string reply;
    std::string message;
  };
  const Case cases[] = {
      {SmtpStep::kGreeting, "220 hi\r\n", "Server returned HELO error"},
      {SmtpStep::kHelo, "250 hi\r\n", "Server returned MAIL FROM error"},
      {SmtpStep::kMailFrom, "250 ok\r\n", "Server returned RCPT TO error"},
      {SmtpStep::kRcptTo, "250 ok\r\n", "Server returned DATA error"},
      {SmtpStep::kEndOfData, "250 ok\r\n", "Server returned QUIT error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    NewPeer().SetReply(c.step, PeerReply::Disconnect(c.reply));
    SendSimple();
    ExpectOutcome(-1, c.message);
    EXPECT_FALSE(c.step != SmtpStep::kEndOfData && Contains(peer_->commands(), "QUIT"));
  }
}

TEST_F(MailerTest, RefusedRecipientStopsTheEnvelope) {
  peer_->SetRcptReply(1, PeerReply::Text("550 no such user\r\n"));
  mailer_->SendMessage("ann@example.org", "a@example.org, b@example.org", "c@example.org", "", "",
                       "x");
  ExpectOutcome(550, "Server returned RCPT TO error");
  std::vector<std::string> expected = {"HELO " + LocalHostName(), "MAIL FROM:<ann@example.org>",
                                       "RCPT TO:<a@example.org>", "RCPT TO:<b@example.org>"};
  EXPECT_EQ(peer_->commands(), expected);
}

TEST_F(MailerTest, ExtraHeaderLinesFollowMessageIdOrRefuseTheCall) {
  {
    // Built messages carry them, LF or CRLF, after the mailer's own fields.
    mailer_->set_extra_headers(
        "List-Id: \"News\" <news.example.org>\nList-Unsubscribe:\r\n <mailto:news@example.org>");
    SendSimple();
    ExpectOutcome(0, "Message sent");
    ASSERT_EQ(peer_->received_messages().size(), 1u);
    EXPECT_EQ(MaskStamp(peer_->received_messages()[0]),
              "From: \"Ann\" <ann@example.org>\r\nTo: bob@example.org\r\nSubject: Hi\r\n" + kStamp +
                  "List-Id: \"News\" <news.example.org>\r\nList-Unsubscribe:\r\n "
                  "<mailto:news@example.org>\r\n\r\nHello\r\n");
  }
  {
    // A field the mailer writes itself is refused before connecting.
    mailer_->set_extra_headers("X-Ok: 1\r\nbcc: spy@example.org");
    SendSimple();
    ExpectOutcome(60, "Extra header lines are not valid: the mailer writes \"bcc\" itself");
    EXPECT_EQ(peer_->connections(), 1);
  }
}

TEST_F(MailerTest, BadArgumentsAreRefusedBeforeConnecting) {
  {
    mailer_->SendMessage("", "bob@example.org", "", "", "", "");
    ExpectOutcome(50, "From parameter required");
  }
  {
    mailer_->SendMessageFromFile("ann@example.org", "", "", "", "", "/nonexistent");
    ExpectOutcome(51, "To parameter required");
  }
  {
    mailer_->set_ignore_to(-1);
    mailer_->SendMessage("ann@example.org", "bob@example.org", "", "", "", "");
    ExpectOutcome(55, "To is ignored, and no other destinations given");
    mailer_->set_ignore_to(0);
  }
  {
    mailer_->SendMessage("ann@example.org", "bob@example.org", "", "x@y\r\nRCPT TO:z@y", "", "");
    ExpectOutcome(52, "Address contains a line break");
  }
  {
    mailer_->SendMessage("ann@example.org\nDATA", "bob@example.org", "", "", "", "");
    ExpectOutcome(52, "Address contains a line break");
  }
  {  // A missing file is refused before connecting too.
    mailer_->SendMessageFromFile("ann@example.org", "bob@example.org", "", "", "", "/nonexistent");
    ExpectOutcome(4, "Cannot open file");
  }
  EXPECT_EQ(peer_->connections(), 0);
}

TEST_F(MailerTest, NothingPassedAddsAHeaderLineOrChangesTheEnvelope) {
  struct Case {
    std::string from, to, cc, bcc, subject;
    int32_t code;
    std::string message;
  };
  const std::string k52 = "Address contains a line break";
  const std::string k53 = "Subject contains a line break";
  const std::string k54 = "Address is not valid";
  const Case cases[] = {
      {"ann@example.org", "bob@example.org", "", "", "Hi\r\nBcc: spy@example.org", 53, k53},
      {"ann@example.org", "b@example.org\r\nRCPT TO:<x@example.org>", "", "", "", 52, k52},
      {"\"Ann\nBcc: spy@example.org\" <ann@example.org>", "bob@example.org", "", "", "", 52, k52},
      {"ann@example.org> SIZE=999999999", "bob@example.org", "", "", "", 54, k54},
      {"ann@example.org", std::string("bob@example.org\0", 16), "", "", "", 54, k54},
  };
  std::string body = WriteFile("body.txt", "Hello\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.from + " | " + c.to + " | " + c.cc + " | " + c.bcc + " | " + c.subject);
    mailer_->SendMessage(c.from, c.to, c.cc, c.bcc, c.subject, "Hello\r\n");
    ExpectOutcome(c.code, c.message);
    mailer_->SendMessageFromFile(c.from, c.to, c.cc, c.bcc, c.subject, body);
    ExpectOutcome(c.code, c.message);
  }
  {  // The name is not cut at a NUL, which would send the file before it.
    mailer_->SendMessageFromFile("ann@example.org", "bob@example.org", "", "", "",
                                 body + std::string(1, '\0') + ".other");
    ExpectOutcome(4, "Cannot open file");
    mailer_->SendRawMessageFromFile(body + std::string(1, '\0'));
    ExpectOutcome(4, "Cannot open file");
  }
  EXPECT_EQ(peer_->connections(), 0);
}

TEST_F(MailerTest, RawFileAddressesAreCheckedAfterTheScan) {
  const char* files[] = {
      "From: ann@example.org> SIZE=999999999\nTo: bob@example.org\n\nbody\n",
      "From: ann@example.org\nTo: bob@example.org NOTIFY=NEVER\n\nbody\n",
      "To: bob@example.org\nBcc: <x@example.org\x01>\n\nbody\n",
  };
  for (const char* content : files) {
    SCOPED_TRACE(content);
    NewPeer();
    mailer_->SendRawMessageFromFile(WriteFile("bad.eml", content));
    ExpectOutcome(54, "Address is not valid");
    EXPECT_EQ(peer_->commands(), std::vector<std::string>{"HELO " + LocalHostName()});
    EXPECT_TRUE(peer_->received_messages().empty());
  }
}

// The value of the field `name` in the header of `message`, without CR LF.
std::string FieldValue(const std::string& message, const std::string& name) {
  size_t start = message.find("\r\n" + name + ": ");
  if (start == std::string::npos) return "";
  start += name.size() + 4;
  return message.substr(start, message.find("\r\n", start) - start);
}

TEST_F(MailerTest, BuiltMessagesCarryDateMessageIdAndCharset) {
  const std::string kUtf8Fields =
      "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
      "Content-Transfer-Encoding: 8bit\r\n";
  {  // Display names and the subject beyond ASCII go as encoded words.
    mailer_->SendMessage("\"Ann Ä\" <ann@example.org>", "Zoë <zoe@example.org>", "", "", "Grüße",
                         "Hello\r\n");
    ExpectOutcome(0, "Message sent");
    EXPECT_EQ(peer_->commands().at(1), "MAIL FROM:<ann@example.org>");
    EXPECT_EQ(peer_->commands().at(2), "RCPT TO:<zoe@example.org>");
    EXPECT_EQ(MaskStamp(peer_->received_messages().at(0)),
              "From: =?UTF-8?B?QW5uIMOE?= <ann@example.org>\r\n"
              "To: =?UTF-8?B?Wm/Dqw==?= <zoe@example.org>\r\n"
              "Subject: =?UTF-8?B?R3LDvMOfZQ==?=\r\n" +
                  kStamp + kUtf8Fields + "\r\nHello\r\n");
  }
  {  // A body file is declared UTF-8 when it is, and only then.
    struct Case {
      std::string body;
      bool declared;
    };
    const Case cases[] = {{"Grüße\n", true},
                          {"Gr\xfc\xdf"
                           "e\n",
                           false},
                          {"Hello\n", false}};
    for (const Case& c : cases) {
      SCOPED_TRACE(c.body);
      NewPeer();
      std::string path = WriteFile("body.txt", c.body);
      mailer_->SendMessageFromFile("ann@example.org", "bob@example.org", "", "", "Hi", path);
      ExpectOutcome(0, "Message sent");
      EXPECT_EQ(MaskStamp(peer_->received_messages().at(0)),
                "From: ann@example.org\r\nTo: bob@example.org\r\nSubject: Hi\r\n" + kStamp +
                    (c.declared ? kUtf8Fields : "") + "\r\n" + c.body.substr(0, c.body.size() - 1) +
                    "\r\n");
    }
  }
  {  // Every message has its own identifier; a sender without a domain
     // takes the host's name.
    NewPeer();
    SendSimple();
    SendSimple();
    mailer_->SendMessage("ann", "bob@example.org", "", "", "", "");
    std::vector<std::string> messages = peer_->received_messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_NE(FieldValue(messages[0], "Message-ID"), FieldValue(messages[1], "Message-ID"));
    EXPECT_TRUE(FieldValue(messages[2], "Message-ID").ends_with("@" + LocalHostName() + ">"));
  }
}

TEST_F(MailerTest, ConnectionFailures) {
  {
    mailer_->set_server_name("no-such-host.invalid");
    SendSimple();
    ExpectOutcome(6, "Could not connect to server");
  }
  {  // A listener whose backlog is full drops the handshake: the connect
     // itself is bounded by the greeting's time-out.
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
      fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
      ::connect(fillers.back(), reinterpret_cast<sockaddr*>(&address), length);
    }
    // The first handshake fills the backlog; once it is through, every
    // later one is dropped.
    pollfd first{fillers[0], POLLOUT, 0};
    ASSERT_EQ(::poll(&first, 1, 10000), 1);
    mailer_->set_timeouts_for_testing(ShortTimeouts());
    mailer_->set_server_name("127.0.0.1:" + std::to_string(ntohs(address.sin_port)));
    SendSimple();
    ExpectOutcome(6, "Could not connect to server");
    for (int fd : fillers) ::close(fd);
    ::close(listener);
  }
  {  // Nobody listens on a closed port.
    uint16_t port = peer_->port();
    peer_.reset();
    mailer_->set_server_name("127.0.0.1:" + std::to_string(port));
    SendSimple();
    ExpectOutcome(6, "Could not connect to server");
  }
}

TEST_F(MailerTest, SilentServersTimeOut) {
  const auto& steps = kSteps;
  const auto& messages = kStepFailures;
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(messages[i]);
    NewPeer().SetReply(steps[i], PeerReply::Stall());
    mailer_->set_timeouts_for_testing(ShortTimeouts());
    SendSimple();
    ExpectOutcome(-1, messages[i]);
  }
  {  // A server that stops reading makes the content send time out.
    NewPeer().SetReply(SmtpStep::kData, PeerReply::StopReading("354 go\r\n"));
    mailer_->set_timeouts_for_testing(ShortTimeouts());
    mailer_->SendMessage("ann@example.org", "bob@example.org", "", "", "",
                         std::string(32 << 20, 'x'));
    ExpectOutcome(10, "Could not write message to the server");
  }
  {  // A server that reads slowly but steadily takes longer than the time-out
     // in all, yet never lets a wait reach it: the text goes through.
    NewPeer().SetReply(SmtpStep::kData, PeerReply::ReadSlowly("354 go\r\n"));
    SmtpTimeouts timeouts = ShortTimeouts();
    timeouts.content_send = milliseconds(600);
    timeouts.end_of_data = milliseconds(5000);
    mailer_->set_timeouts_for_testing(timeouts);
    mailer_->SendMessage("ann@example.org", "bob@example.org", "", "", "",
                         std::string(24 << 20, 'x'));
    ExpectOutcome(0, "Message sent");
  }
}

TEST_F(MailerTest, ContentIsFramedInAllThreeKinds) {
  // Bare LF, bare CR, a lone dot line and a leading dot; the dot line sits
  // where the second 1024-byte chunk of the file begins.
  std::string start = std::string(500, 'a') + "\r\n" + std::string(519, 'a');  // 1021 bytes
  std::string body = start + "\r\n" + ".\n.x\rend";
  std::string wire = start + "\r\n" + "..\r\n..x\r\nend";
  {
    mailer_->SendMessage("ann@example.org", "bob@example.org", "", "", "", body);
    ExpectOutcome(0, "Message sent");
    EXPECT_EQ(MaskStamp(peer_->received_messages().at(0)),
              "From: ann@example.org\r\nTo: bob@example.org\r\n" + kStamp + "\r\n" + wire);
  }
  {
    NewPeer();
    std::string path = WriteFile("body.txt", body);
    mailer_->SendMessageFromFile("ann@example.org", "bob@example.org", "", "", "", path);
    ExpectOutcome(0, "Message sent");
    EXPECT_EQ(MaskStamp(peer_->received_messages().at(0)),
              "From: ann@example.org\r\nTo: bob@example.org\r\n" + kStamp + "\r\n" + wire);
  }
  {  // A CR at the end of one chunk and its LF at the start of the next.
    NewPeer();
    std::string lines = std::string(500, 'a') + "\r\n" + std::string(521, 'a');
    std::string path = WriteFile("crlf.txt", lines + "\r\n.b\n");
    mailer_->SendMessageFromFile("ann@example.org", "bob@example.org", "", "", "", path);
    EXPECT_EQ(MaskStamp(peer_->received_messages().at(0)),
              "From: ann@example.org\r\nTo: bob@example.org\r\n" + kStamp + "\r\n" + lines +
                  "\r\n..b\r\n");
  }
  {
    NewPeer();
    std::string path = WriteFile("raw.eml", "To: bob@example.org\n\n" + body);
    mailer_->SendRawMessageFromFile(path);
    ExpectOutcome(0, "Message sent");
    EXPECT_EQ(peer_->received_messages().at(0), "To: bob@example.org\r\n\r\n" + wire);
  }
}

TEST_F(MailerTest, RawFileLeavesOutItsBccRange) {
  {  // Bytes 10 to 40 are the Bcc line.
    std::string bcc_line = "Bcc: carl@example.org, d@ex.o\n";
    ASSERT_EQ(bcc_line.size(), 30u);
    std::string content = "To: b@x.z\n" + bcc_line + "From: <ann@example.org>\n\n.body\n";
    ASSERT_EQ(content.find("Bcc"), 10u);
    std::string path = WriteFile("bcc.eml", content);
    mailer_->SendRawMessageFromFile(path);
    ExpectOutcome(0, "Message sent");
    std::vector<std::string> expected = {"HELO " + LocalHostName(),
                                         "MAIL FROM:<ann@example.org>",
                                         "RCPT TO:<b@x.z>",
                                         "RCPT TO:<carl@example.org>",
                                         "RCPT TO:<d@ex.o>",
                                         "DATA",
                                         "QUIT"};
    EXPECT_EQ(peer_->commands(), expected);
    EXPECT_EQ(peer_->received_messages().at(0),
              "To: b@x.z\r\nFrom: <ann@example.org>\r\n\r\n..body\r\n");
    EXPECT_EQ(peer_->transcript().find("carl@example.org>\r\n"),
              peer_->transcript().rfind("carl@example.org>\r\n"));  // only in RCPT TO
  }
  {  // Two Bcc fields: both are left out; a dot line follows the second.
    NewPeer();
    std::string path =
        WriteFile("two.eml", "Bcc: one@x.org\r\nTo: t@x.org\r\nBcc: two@x.org\r\n\r\n.\r\n");
    mailer_->SendRawMessageFromFile(path);
    ExpectOutcome(0, "Message sent");
    EXPECT_EQ(peer_->received_messages().at(0), "To: t@x.org\r\n\r\n..\r\n");
  }
}

TEST_F(MailerTest, RawFileBccFieldsNeverReachTheData) {
  for (const RawBccCase& c : RawBccCases()) {
    SCOPED_TRACE(c.name);
    NewPeer();
    mailer_->SendRawMessageFromFile(WriteFile("bcc.eml", c.file));
    ExpectOutcome(0, "Message sent");
    std::vector<std::string> expected = {"HELO " + LocalHostName(),
                                         "MAIL FROM:<" + c.envelope[0] + ">"};
    for (size_t i = 1; i < c.envelope.size(); ++i) {
      expected.push_back("RCPT TO:<" + c.envelope[i] + ">");
    }
    expected.insert(expected.end(), {"DATA", "QUIT"});
    EXPECT_EQ(peer_->commands(), expected);
    EXPECT_EQ(peer_->received_messages().at(0), c.content);
  }
}

TEST_F(MailerTest, RawFileCrEndsTheFromLine) {
  // A CR ends the From line, as it does on the wire: its "<" has no ">", so
  // the sender is empty, and the rest is a header line of its own.
  std::string path =
      WriteFile("inject.eml", "From: <ann@x.org\rRCPT TO:<z@x.org>>\nTo: b@x.org\n\n");
  mailer_->SendRawMessageFromFile(path);
  ExpectOutcome(0, "Message sent");
  std::vector<std::string> expected = {"HELO " + LocalHostName(), "MAIL FROM:<>",
                                       "RCPT TO:<b@x.org>", "DATA", "QUIT"};
  EXPECT_EQ(peer_->commands(), expected);
  EXPECT_EQ(peer_->received_messages().at(0),
            "From: <ann@x.org\r\nRCPT TO:<z@x.org>>\r\nTo: b@x.org\r\n\r\n");
}

TEST_F(MailerTest, RawFileFailuresCloseWithoutQuit) {
  {
    std::string path = WriteFile("nohead.eml", "Just text\n\nbody\n");
    mailer_->SendRawMessageFromFile(path);
    ExpectOutcome(1, "Message does not have a header");
    EXPECT_EQ(peer_->commands(), std::vector<std::string>{"HELO " + LocalHostName()});
  }
  {  // A directory opens but cannot be read.
    NewPeer();
    std::filesystem::create_directories(dir_ / "folder");
    mailer_->SendRawMessageFromFile((dir_ / "folder").string());
    ExpectOutcome(4, "Cannot open file");
    EXPECT_FALSE(Contains(peer_->commands(), "QUIT"));
  }
  {  // A body that cannot be read is not delivered as if it were complete.
    NewPeer();
    mailer_->SendMessageFromFile("ann@example.org", "bob@example.org", "", "", "",
                                 (dir_ / "folder").string());
    ExpectOutcome(4, "Cannot open file");
    EXPECT_TRUE(peer_->received_messages().empty());
    EXPECT_FALSE(Contains(peer_->commands(), "QUIT"));
  }
  {
    NewPeer();
    mailer_->SendRawMessageFromFile((dir_ / "missing.eml").string());
    ExpectOutcome(4, "Cannot open file");
    EXPECT_EQ(peer_->connections(), 0);
  }
}

TEST_F(MailerTest, ReachesAPeerOverIpv6) {
  try {
    NewPeer("::1");
  } catch (const std::runtime_error& e) {
    GTEST_SKIP() << "no IPv6 loopback here: " << e.what();
  }
  EXPECT_EQ(peer_->server_name().rfind("[::1]:", 0), 0u);
  SendSimple();
  ExpectOutcome(0, "Message sent");
  EXPECT_EQ(mailer_->server_address(), peer_->server_name());  // the address in brackets
}

TEST_F(MailerTest, EachCallOverwritesTheOutcome) {
  Mailer fresh;
  EXPECT_EQ(fresh.error_code(), -1);
  EXPECT_EQ(fresh.error_message(), "");
  EXPECT_EQ(fresh.server_name(), "mailhost");
  SendSimple();
  ExpectOutcome(0, "Message sent");
  peer_->SetRcptReply(0, PeerReply::Text("550 no\r\n"));
  SendSimple();
  ExpectOutcome(550, "Server returned RCPT TO error");
  mailer_->SendRawMessage("anything");
  ExpectOutcome(25, "SendRawMessage not implemented in this beta");
  EXPECT_EQ(peer_->connections(), 2);
}

}  // namespace
}  // namespace verdanpost
