#include "mailer/smtp/raw_header_scanner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace verdanpost {
namespace {

using List = std::vector<std::string>;

class RawHeaderScannerTest : public ::testing::Test {
 protected:
  ~RawHeaderScannerTest() override { std::filesystem::remove(path_); }

  // Scans `content` as a raw message file.
  Outcome Scan(const std::string& content, bool ignore_to = false) {
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << content;
    MessageFile file;
    EXPECT_TRUE(file.Open(path_));
    Outcome outcome = ScanRawHeader(&file, ignore_to, &header_);
    end_ = file.position();
    return outcome;
  }

  void ExpectRefused(const std::string& content) {
    Outcome outcome = Scan(content);
    EXPECT_FALSE(outcome.ok()) << content;
    EXPECT_EQ(outcome.code(), 1);
    EXPECT_EQ(outcome.message(), "Message does not have a header");
  }

  std::string path_ =
      (std::filesystem::temp_directory_path() / ("raw_scan_" + std::to_string(::getpid()) + ".eml"))
          .string();
  RawHeader header_;
  uint64_t end_ = 0;  // where the scan left the file
};

TEST_F(RawHeaderScannerTest, SenderRecipientsAndBccRange) {
  const std::string content =
      "Bcc: x@y.org, z@y.org\r\nFrom: \"Ann\" <ann@y.org>\r\nTo: t@y.org\r\n"
      "Subject: s\r\n\r\nTo: body@y.org\r\n";
  ASSERT_TRUE(Scan(content, true).ok());
  EXPECT_EQ(header_.sender, "ann@y.org");
  EXPECT_EQ(header_.recipients, (List{"x@y.org", "z@y.org"}));
  EXPECT_EQ(header_.bcc.start, 0u);
  EXPECT_EQ(header_.bcc.end, 23u);  // the first line with its CR LF
  ASSERT_TRUE(Scan(content).ok());
  EXPECT_EQ(header_.recipients, (List{"x@y.org", "z@y.org", "t@y.org"}));
}

TEST_F(RawHeaderScannerTest, LfFilesScanLikeCrLfFiles) {
  const std::string crlf = "To: a@y.org,\r\n b@y.org\r\nCC: c@y.org\r\nfrom: d@y.org\r\n\r\nbody";
  std::string lf = crlf;
  for (size_t at; (at = lf.find("\r\n")) != std::string::npos;) lf.erase(at, 1);
  ASSERT_TRUE(Scan(crlf).ok());
  RawHeader first = header_;
  uint64_t first_end = end_;
  ASSERT_TRUE(Scan(lf).ok());
  EXPECT_EQ(header_.sender, first.sender);
  EXPECT_EQ(header_.recipients, first.recipients);
  EXPECT_EQ(header_.recipients, (List{"a@y.org", "b@y.org", "c@y.org"}));
  EXPECT_EQ(first_end, crlf.find("body"));  // the empty line is the last one read
  EXPECT_EQ(end_, lf.find("body"));
}

TEST_F(RawHeaderScannerTest, AddressFieldsAndTheirContinuation) {
  {  // Blanks after the colon: the addresses are on the next line.
    ASSERT_TRUE(Scan("To:   \r\n a@y.org, b@y.org\r\n\r\n").ok());
    EXPECT_EQ(header_.recipients, (List{"a@y.org", "b@y.org"}));
  }
  {  // The empty line that ends the header also ends a list that asks for more.
    ASSERT_TRUE(Scan("Bcc: a@y.org,\r\n\r\nnot@an.address\r\n").ok());
    EXPECT_EQ(header_.recipients, List{"a@y.org"});
    EXPECT_EQ(header_.bcc.end, 15u);  // the empty line stays in the message
  }
  {  // The end of the file ends a list too.
    ASSERT_TRUE(Scan("Cc: a@y.org,").ok());
    EXPECT_EQ(header_.recipients, List{"a@y.org"});
  }
  {  // Prefixes in any case; a blank before one hides it; a quoted comma stays.
    ASSERT_TRUE(Scan("tO: a@y.org\r\n Cc: b@y.org\r\nbCC: \"L, A\" <c@y.org>\r\n\r\n").ok());
    EXPECT_EQ(header_.recipients, (List{"a@y.org", "c@y.org"}));
  }
  {  // An empty first line does not end the header; a later From replaces.
    ASSERT_TRUE(Scan("\r\nTo: a@y.org\r\nFrom: one@y.org\r\nFrom: two@y.org\r\n\r\n").ok());
    EXPECT_EQ(header_.recipients, List{"a@y.org"});
    EXPECT_EQ(header_.sender, "two@y.org");
  }
  {  // No From: an empty sender; no Bcc: no range.
    ASSERT_TRUE(Scan("To: a@y.org\r\n\r\n").ok());
    EXPECT_EQ(header_.sender, "");
    EXPECT_EQ(header_.bcc.start, BccRange::kNone);
    EXPECT_EQ(header_.bcc.end, BccRange::kNone);
  }
}

TEST_F(RawHeaderScannerTest, BccRangeOfTheLastBccField) {
  {
    const std::string content = "Bcc: a@y.org\nTo: t@y.org\nBcc: b@y.org,\n c@y.org\n\nbody\n";
    ASSERT_TRUE(Scan(content).ok());
    EXPECT_EQ(header_.recipients, (List{"a@y.org", "t@y.org", "b@y.org", "c@y.org"}));
    EXPECT_EQ(header_.bcc.start, content.find("Bcc: b"));
    EXPECT_EQ(header_.bcc.end, content.find("\nbody"));
  }
  {  // Lines of other fields before the Bcc line stay outside the range.
    const std::string content = "To: t@y.org\nX-Mailer: m\nBcc: b@y.org\n\n";
    ASSERT_TRUE(Scan(content).ok());
    EXPECT_EQ(header_.bcc.start, content.find("Bcc"));
    EXPECT_EQ(header_.bcc.end, content.size() - 1);
  }
}

TEST_F(RawHeaderScannerTest, TextWithoutHeaderIsRefused) {
  ExpectRefused("Dear reader\r\n\r\n");
  ExpectRefused("X-Thing: 1\r\nDear reader\r\n");
  EXPECT_TRUE(Scan("To: a@y.org\r\nDear reader\r\n\r\n").ok());
  EXPECT_TRUE(Scan("").ok());
}

TEST(ReadHeaderLineTest, LinesAndTheirEnds) {
  std::string path =
      (std::filesystem::temp_directory_path() / ("read_line_" + std::to_string(::getpid())))
          .string();
  std::ofstream(path, std::ios::binary) << "a\r\nb\r\r\n\nlast";
  MessageFile file;
  ASSERT_TRUE(file.Open(path));
  std::string line;
  EXPECT_TRUE(ReadHeaderLine(&file, &line));
  EXPECT_EQ(line, "a");
  EXPECT_TRUE(ReadHeaderLine(&file, &line));
  EXPECT_EQ(line, "b\r");  // only the CR right before the LF goes
  EXPECT_TRUE(ReadHeaderLine(&file, &line));
  EXPECT_EQ(line, "");
  EXPECT_FALSE(ReadHeaderLine(&file, &line));
  EXPECT_EQ(line, "last");
  EXPECT_FALSE(ReadHeaderLine(&file, &line));
  EXPECT_EQ(line, "");
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace verdanpost
