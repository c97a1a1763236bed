// The mailer against a real SMTP server (aiosmtpd) on loopback: what the
// server recovers must be exactly the message that was meant.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "mailer/smtp/mailer.h"
#include "mailer/smtp/raw_bcc_cases_test_support.h"
#include "testing/message_stamp_mask.h"
#include "testing/python_smtp_server.h"

namespace verdanpost {
namespace {

namespace fs = std::filesystem;
using List = std::vector<std::string>;
using testing_support::MaskStamp;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Line ends of `text` made CR LF, as they go on the wire.
std::string CrLf(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      out += "\r\n";
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// Runs testing/smtp_sink_server.py for the life of the fixture.
class MailerInteropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PythonSmtpServer::Available()) {
      GTEST_FAIL() << "aiosmtpd is not installed (scripts/install-deps.sh installs it)";
    }
    Start("");
  }

  // Starts the server; a `data_reply` other than "" is its answer to the end
  // of the data ("close": none, the connection closes).
  void Start(const std::string& data_reply) {
    fs::create_directories(dir_ / "out");
    std::string err;
    ASSERT_TRUE(server_.Start("smtp_sink_server.py",
                              {"127.0.0.1", (dir_ / "out").string(), data_reply}, &err))
        << err;
    mailer_.set_server_name("127.0.0.1:" + std::to_string(server_.port()));
  }

  void TearDown() override {
    server_.Stop();
    fs::remove_all(dir_);
  }

  std::string WriteFile(const std::string& name, const std::string& content) {
    std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  // Checks the Nth message the server accepted.
  void ExpectReceived(int n, const List& envelope, const std::string& content) {
    EXPECT_EQ(mailer_.error_code(), 0) << mailer_.error_message();
    fs::path base = dir_ / "out" / std::to_string(n);
    std::string lines = ReadAll(base.string() + ".envelope");
    List got;
    std::stringstream stream(lines);
    for (std::string line; std::getline(stream, line);) got.push_back(line);
    EXPECT_EQ(got, envelope);
    EXPECT_EQ(MaskStamp(ReadAll(base.string() + ".content")), content);
  }

  // What Python's email package reads in the Nth message (testing/read_message.py).
  std::string ReadBack(int n) {
    std::string command = std::string(kDebianPython) + " " + VERDANPOST_SOURCE_DIR +
                          "/testing/read_message.py " +
                          (dir_ / "out" / (std::to_string(n) + ".content")).string();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return "cannot run " + command;
    std::string out;
    char buffer[4096];
    while (size_t got = std::fread(buffer, 1, sizeof(buffer), pipe)) out.append(buffer, got);
    int status = ::pclose(pipe);
    if (status != 0) out += "\n(exit status " + std::to_string(status) + ")";
    return out;
  }

  bool Received(int n) { return fs::exists(dir_ / "out" / (std::to_string(n) + ".content")); }

  fs::path dir_ = fs::temp_directory_path() / ("mailer_interop_" + std::to_string(::getpid()));
  PythonSmtpServer server_;
  Mailer mailer_;
};

// The Date and Message-ID lines of a message from ann@example.org, masked,
// and the fields that declare UTF-8 text.
const std::string kStamp = "Date: DATE\r\nMessage-ID: <ID@example.org>\r\n";
const std::string kUtf8Fields =
    "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
    "Content-Transfer-Encoding: 8bit\r\n";

// A body with both line ends, dot lines and text beyond ASCII.
const std::string kBody = "Hello\n.\n..two\r\n.three\nÄ ✓ end\n";

TEST_F(MailerInteropTest, SendMessage) {
  mailer_.SendMessage("\"Ann Ä\" <ann@example.org>",
                      "bob@example.org, \"Lee, Ann\" <lee@example.org>", "c@example.org",
                      "d@example.org", "Grüße", kBody);
  ExpectReceived(
      0,
      {"ann@example.org", "bob@example.org", "lee@example.org", "c@example.org", "d@example.org"},
      "From: =?UTF-8?B?QW5uIMOE?= <ann@example.org>\r\n"
      "To: bob@example.org, \"Lee, Ann\" <lee@example.org>\r\n"
      "Cc: c@example.org\r\nSubject: =?UTF-8?B?R3LDvMOfZQ==?=\r\n" +
          kStamp + kUtf8Fields + "\r\n" + CrLf(kBody) + "\r\n");
}

TEST_F(MailerInteropTest, SendMessageFromFile) {
  // Long enough that dot lines fall on both sides of the 1024-byte chunks.
  std::string body;
  for (int i = 0; i < 300; ++i) body += (i % 3 == 0 ? "." : "line ") + std::to_string(i) + "\n";
  std::string path = WriteFile("body.txt", body);
  mailer_.SendMessageFromFile("ann@example.org", "bob@example.org", "", "", "", path);
  ExpectReceived(
      0, {"ann@example.org", "bob@example.org"},
      "From: ann@example.org\r\nTo: bob@example.org\r\n" + kStamp + "\r\n" + CrLf(body) + "\r\n");
}

TEST_F(MailerInteropTest, SendRawMessageFromFile) {
  const std::string head = "From: \"Ann\" <ann@example.org>\nTo: bob@example.org\n";
  const std::string bcc = "Bcc: hidden@example.org,\n  other@example.org\n";
  const std::string rest = "Cc: c@example.org\nSubject: raw\n\n" + kBody + ".last";
  std::string path = WriteFile("raw.eml", head + bcc + rest);
  mailer_.set_ignore_to(1);
  mailer_.SendRawMessageFromFile(path);
  // Content without a final line end gets the marker's CR LF only.
  ExpectReceived(0, {"ann@example.org", "hidden@example.org", "other@example.org", "c@example.org"},
                 CrLf(head + rest) + "\r\n");
}

// The server's own record of each message: the Bcc addresses only in its
// envelope, never in the data it recovered.
TEST_F(MailerInteropTest, RawBccFieldsNeverReachTheData) {
  int n = 0;
  for (const RawBccCase& c : RawBccCases()) {
    SCOPED_TRACE(c.name);
    mailer_.SendRawMessageFromFile(WriteFile("bcc.eml", c.file));
    ExpectReceived(n++, c.envelope, c.content + "\r\n");
  }
}

// A server that takes the data and then answers no reply at all: the message
// may or may not have gone, so it must not read as sent (code 0).
TEST_F(MailerInteropTest, EndOfDataWithoutAReplyIsNoSuccess) {
  for (const std::string reply : {"close", "+OK queued", "* OK"}) {
    SCOPED_TRACE(reply);
    Start(reply);
    mailer_.SendMessage("ann@example.org", "bob@example.org", "", "", "", kBody);
    EXPECT_EQ(mailer_.error_code(), -1);
    EXPECT_EQ(mailer_.error_message(), "Server returned message error");
  }
  Start("");
  mailer_.SendMessage("ann@example.org", "bob@example.org", "", "", "", kBody);
  EXPECT_EQ(mailer_.error_code(), 0);
  EXPECT_EQ(mailer_.error_message(), "Message sent");
}

TEST_F(MailerInteropTest, ReadBackExactlyAsPassed) {
  std::string subject;
  for (int i = 0; i < 12; ++i) subject += "Ωμέγα ✓ 日本語 ";
  subject += " 😀 ends with blanks  ";
  std::string long_name;
  for (int i = 0; i < 9; ++i) long_name += "Zoë ";  // as long as one encoded word holds
  const std::string to = "\"" + long_name + "\" <zoe@example.org>, bob@example.org, " +
                         "\"Lee, \\\"Ann\\\" Ä\" <lee@example.org>, Jürgen Groß <jg@example.org>";
  mailer_.SendMessage("\"Ann Ä\" <ann@example.org>", to, "\"Çé\" <c@example.org>", "", subject,
                      kBody);
  EXPECT_EQ(mailer_.error_code(), 0) << mailer_.error_message();
  EXPECT_EQ(ReadBack(0),
            "defects: 0\nheader lines: fit\ndate: now\nmessage-id: ok\n"
            "subject: " +
                subject +
                "\nfrom: Ann Ä|ann@example.org\n"
                "to: " +
                long_name +
                "|zoe@example.org\nto: |bob@example.org\n"
                "to: Lee, \"Ann\" Ä|lee@example.org\nto: Jürgen Groß|jg@example.org\n"
                "cc: Çé|c@example.org\ncontent: text/plain utf-8\nbody:\n" +
                CrLf(kBody) + "\r\n");
  {  // A UTF-8 body file under a plain header.
    std::string path = WriteFile("body.txt", kBody);
    mailer_.SendMessageFromFile("ann@example.org", "bob@example.org", "", "", "Hi", path);
    EXPECT_EQ(mailer_.error_code(), 0) << mailer_.error_message();
    EXPECT_EQ(ReadBack(1),
              "defects: 0\nheader lines: fit\ndate: now\nmessage-id: ok\nsubject: Hi\n"
              "from: |ann@example.org\nto: |bob@example.org\ncontent: text/plain utf-8\nbody:\n" +
                  CrLf(kBody) + "\r\n");
  }
}

TEST_F(MailerInteropTest, InjectionsNeverReachTheServer) {
  mailer_.SendMessage("ann@example.org", "bob@example.org", "", "", "Hi\r\nBcc: spy@example.org",
                      "x");
  EXPECT_EQ(mailer_.error_code(), 53);
  mailer_.SendMessage("ann@example.org", "bob@example.org\r\nRCPT TO:<spy@example.org>", "", "", "",
                      "x");
  EXPECT_EQ(mailer_.error_code(), 52);
  mailer_.SendMessage("ann@example.org> SIZE=999999999", "bob@example.org", "", "", "", "x");
  EXPECT_EQ(mailer_.error_code(), 54);
  mailer_.SendRawMessageFromFile(
      WriteFile("raw.eml", "From: ann@example.org\nTo: bob@example.org NOTIFY=NEVER\n\nx\n"));
  EXPECT_EQ(mailer_.error_code(), 54);
  EXPECT_FALSE(Received(0));
  // A quoted local part may hold a blank; it reaches the envelope as passed.
  mailer_.SendMessage("ann@example.org", "\"Bob Lee\" <\"bob lee\"@example.org>", "", "", "Hi",
                      "x");
  ExpectReceived(0, {"ann@example.org", "\"bob lee\"@example.org"},
                 "From: ann@example.org\r\nTo: \"Bob Lee\" <\"bob lee\"@example.org>\r\n"
                 "Subject: Hi\r\n" +
                     kStamp + "\r\nx\r\n");
}

// A line too long for mail goes quoted-printable, and a standard reader
// gets the text back.
TEST_F(MailerInteropTest, LongLinesReadBackAsWritten) {
  std::string text = "Start\n";
  for (int i = 0; i < 150; ++i) text += "Grüße ✓ ";
  text += "\n.dot and = sign \nend";
  mailer_.SendMessage("ann@example.org", "bob@example.org", "", "", "Hi", text);
  EXPECT_EQ(mailer_.error_code(), 0) << mailer_.error_message();
  EXPECT_EQ(ReadBack(0),
            "defects: 0\nheader lines: fit\ndate: now\nmessage-id: ok\nsubject: Hi\n"
            "from: |ann@example.org\nto: |bob@example.org\ncontent: text/plain utf-8\nbody:\n" +
                CrLf(text) + "\r\n");
}

// With EHLO the server parses SIZE and BODY on MAIL FROM; a kept session
// carries three messages on one connection, each to its own recipients.
TEST_F(MailerInteropTest, AKeptEsmtpSessionCarriesSeveralMessages) {
  std::string saved;
  if (const char* old = std::getenv("VERDANPOST_SERVERS")) saved = old;
  std::string path = WriteFile(
      "servers.ini", "[127.0.0.1:" + std::to_string(server_.port()) + "]\nGreeting = EHLO\n");
  ::chmod(path.c_str(), 0600);
  ::setenv("VERDANPOST_SERVERS", path.c_str(), 1);
  mailer_.set_keep_connection(true);
  mailer_.set_partial_delivery(true);
  mailer_.SendMessage("ann@example.org", "bob@example.org", "", "", "One", kBody);
  ExpectReceived(0, {"ann@example.org", "bob@example.org"},
                 "From: ann@example.org\r\nTo: bob@example.org\r\nSubject: One\r\n" + kStamp +
                     kUtf8Fields + "\r\n" + CrLf(kBody) + "\r\n");
  mailer_.SendMessage("ann@example.org", "carl@example.org", "", "bad address@example.org", "Two",
                      "plain\r\n");
  ExpectReceived(1, {"ann@example.org", "carl@example.org"},
                 "From: ann@example.org\r\nTo: carl@example.org\r\nSubject: Two\r\n" + kStamp +
                     "\r\nplain\r\n\r\n");
  EXPECT_EQ(mailer_.refused_recipients(), "bad address@example.org\t54\tAddress is not valid\n");
  mailer_.SendMessage("ann@example.org", "dora@example.org", "", "", "Three", "plain\r\n");
  ExpectReceived(2, {"ann@example.org", "dora@example.org"},
                 "From: ann@example.org\r\nTo: dora@example.org\r\nSubject: Three\r\n" + kStamp +
                     "\r\nplain\r\n\r\n");
  mailer_.Disconnect();
  ::setenv("VERDANPOST_SERVERS", saved.c_str(), 1);
}

}  // namespace
}  // namespace verdanpost
