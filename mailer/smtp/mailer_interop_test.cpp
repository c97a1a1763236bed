// The mailer against a real SMTP server (aiosmtpd) on loopback: what the
// server recovers must be exactly the message that was meant.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "mailer/smtp/mailer.h"
#include "mailer/smtp/raw_bcc_cases_test_support.h"

namespace verdanpost {
namespace {

namespace fs = std::filesystem;
using List = std::vector<std::string>;

constexpr char kPython[] = "/usr/bin/python3";

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
    if (::access(kPython, X_OK) != 0 ||
        std::system("/usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null") != 0) {
      GTEST_FAIL() << "aiosmtpd is not installed (scripts/install-deps.sh installs it)";
    }
    Start("");
  }

  // Starts the server; a `data_reply` other than "" is its answer to the end
  // of the data ("close": none, the connection closes).
  void Start(const std::string& data_reply) {
    Stop();
    fs::create_directories(dir_ / "out");
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    pid_ = ::fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::close(out[0]);
      ::close(out[1]);
      std::string script = std::string(VERDANPOST_SOURCE_DIR) + "/testing/smtp_sink_server.py";
      std::string outdir = (dir_ / "out").string();
      ::execl(kPython, kPython, script.c_str(), "127.0.0.1", outdir.c_str(), data_reply.c_str(),
              nullptr);
      ::_exit(127);
    }
    ::close(out[1]);
    FILE* from_server = ::fdopen(out[0], "r");
    int port = 0;
    bool got_port = std::fscanf(from_server, "%d", &port) == 1;
    std::fclose(from_server);
    ASSERT_TRUE(got_port) << "the SMTP server did not start";
    mailer_.set_server_name("127.0.0.1:" + std::to_string(port));
  }

  void TearDown() override {
    Stop();
    fs::remove_all(dir_);
  }

  void Stop() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
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
    EXPECT_EQ(ReadAll(base.string() + ".content"), content);
  }

  fs::path dir_ = fs::temp_directory_path() / ("mailer_interop_" + std::to_string(::getpid()));
  pid_t pid_ = -1;
  Mailer mailer_;
};

// A body with both line ends, dot lines and text beyond ASCII.
const std::string kBody = "Hello\n.\n..two\r\n.three\nÄ ✓ end\n";

TEST_F(MailerInteropTest, SendMessage) {
  mailer_.SendMessage("\"Ann Ä\" <ann@example.org>",
                      "bob@example.org, \"Lee, Ann\" <lee@example.org>", "c@example.org",
                      "d@example.org", "Grüße", kBody);
  ExpectReceived(
      0,
      {"ann@example.org", "bob@example.org", "lee@example.org", "c@example.org", "d@example.org"},
      "From: \"Ann Ä\" <ann@example.org>\r\n"
      "To: bob@example.org, \"Lee, Ann\" <lee@example.org>\r\n"
      "Cc: c@example.org\r\nSubject: Grüße\r\n\r\n" +
          CrLf(kBody) + "\r\n");
}

TEST_F(MailerInteropTest, SendMessageFromFile) {
  // Long enough that dot lines fall on both sides of the 1024-byte chunks.
  std::string body;
  for (int i = 0; i < 300; ++i) body += (i % 3 == 0 ? "." : "line ") + std::to_string(i) + "\n";
  std::string path = WriteFile("body.txt", body);
  mailer_.SendMessageFromFile("ann@example.org", "bob@example.org", "", "", "", path);
  ExpectReceived(0, {"ann@example.org", "bob@example.org"},
                 "From: ann@example.org\r\nTo: bob@example.org\r\n\r\n" + CrLf(body) + "\r\n");
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

}  // namespace
}  // namespace verdanpost
