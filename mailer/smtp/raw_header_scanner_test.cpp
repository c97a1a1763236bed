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
  // Checks that the Bcc ranges of `content` hold exactly `fields`, in order.
  void ExpectRanges(const std::string& content, const List& fields) {
    List got;
    for (const BccRange& range : header_.bcc) {
      got.push_back(content.substr(range.start, range.end - range.start));
    }
    EXPECT_EQ(got, fields) << content;
  }

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
  ASSERT_EQ(header_.bcc.size(), 1u);
  EXPECT_EQ(header_.bcc[0].start, 0u);
  EXPECT_EQ(header_.bcc[0].end, 23u);  // the first line with its CR LF
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
    ASSERT_EQ(header_.bcc.size(), 1u);
    EXPECT_EQ(header_.bcc[0].end, 15u);  // the empty line stays in the message
  }
  {  // The end of the file ends a list too.
    ASSERT_TRUE(Scan("Cc: a@y.org,").ok());
    EXPECT_EQ(header_.recipients, List{"a@y.org"});
  }
  {  // Prefixes in any case; a blank before one hides it (the line then
     // continues the field before it); a quoted comma stays.
    ASSERT_TRUE(
        Scan("tO: a@y.org\r\nSubject: s\r\n Cc: b@y.org\r\nbCC: \"L, A\" <c@y.org>\r\n\r\n").ok());
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
    EXPECT_TRUE(header_.bcc.empty());
  }
}

TEST_F(RawHeaderScannerTest, EveryBccFieldHasItsRange) {
  {
    const std::string content = "Bcc: a@y.org\nTo: t@y.org\nBcc: b@y.org,\n c@y.org\n\nbody\n";
    ASSERT_TRUE(Scan(content).ok());
    EXPECT_EQ(header_.recipients, (List{"a@y.org", "t@y.org", "b@y.org", "c@y.org"}));
    ExpectRanges(content, {"Bcc: a@y.org\n", "Bcc: b@y.org,\n c@y.org\n"});
  }
  {  // Lines of other fields before the Bcc line stay outside the range.
    const std::string content = "To: t@y.org\nX-Mailer: m\nBcc: b@y.org\n\n";
    ASSERT_TRUE(Scan(content).ok());
    ASSERT_EQ(header_.bcc.size(), 1u);
    EXPECT_EQ(header_.bcc[0].start, content.find("Bcc"));
    EXPECT_EQ(header_.bcc[0].end, content.size() - 1);
  }
}

TEST_F(RawHeaderScannerTest, FoldedLinesBelongToTheirField) {
  {  // Folded From; folded To discarded under IgnoreTo.
    ASSERT_TRUE(Scan("From: \"Ann\"\r\n\t<ann@y.org>\r\nTo: a@y.org,\r\n b@y.org\r\n"
                     "Cc: c@y.org\r\n\r\n",
                     true)
                    .ok());
    EXPECT_EQ(header_.sender, "ann@y.org");
    EXPECT_EQ(header_.recipients, List{"c@y.org"});
  }
  {  // A folded line of another field is part of that field, whatever it says.
    ASSERT_TRUE(Scan("Subject: see\r\n Bcc: x@y.org\r\nTo: a@y.org\r\n\r\n").ok());
    EXPECT_EQ(header_.recipients, List{"a@y.org"});
    EXPECT_TRUE(header_.bcc.empty());
  }
  {  // A first field folded onto a line without a colon is still a header.
    ASSERT_TRUE(Scan("X-Thing: 1\r\n Dear reader\r\nTo: a@y.org\r\n\r\n").ok());
    EXPECT_EQ(header_.recipients, List{"a@y.org"});
  }
  // With no field before it, a line with a leading blank folds nothing.
  ExpectRefused(" Dear reader\r\n\r\n");
  ExpectRefused("\r\n Dear reader\r\n");
}

TEST_F(RawHeaderScannerTest, TrailingCommaStopsAtANewField) {
  {
    ASSERT_TRUE(Scan("To: a@example.org,\r\nSubject: Report\r\n\r\n").ok());
    EXPECT_EQ(header_.recipients, List{"a@example.org"});
  }
  {  // An empty list does not take a field either.
    ASSERT_TRUE(Scan("Cc:\r\nX-Tag: 1\r\nTo: a@y.org\r\n\r\n").ok());
    EXPECT_EQ(header_.recipients, List{"a@y.org"});
  }
  {  // Lines that start no field still continue the list, folded or not.
    ASSERT_TRUE(
        Scan("Cc: a@y.org,\r\nb@y.org,\r\n\"Lee, A\" <c@y.org>,\r\n <d@y.org>\r\n\r\n").ok());
    EXPECT_EQ(header_.recipients, (List{"a@y.org", "b@y.org", "c@y.org", "d@y.org"}));
  }
}

TEST_F(RawHeaderScannerTest, FieldNamesWithBlanksBeforeTheColon) {
  const std::string content =
      "Bcc : x@y.org\r\nto\t:t@y.org\r\nFROM  : <s@y.org>\r\nBcc-Copy: n@y.org\r\n"
      "X Bcc: n@y.org\r\nbcc \t :\r\n y@y.org\r\n\r\n";
  ASSERT_TRUE(Scan(content).ok());
  EXPECT_EQ(header_.sender, "s@y.org");
  EXPECT_EQ(header_.recipients, (List{"x@y.org", "t@y.org", "y@y.org"}));
  ExpectRanges(content, {"Bcc : x@y.org\r\n", "bcc \t :\r\n y@y.org\r\n"});
}

TEST_F(RawHeaderScannerTest, LinesEndWhereTheWireEndsThem) {
  {  // A CR alone ends the header too; what follows is body.
    const std::string content = "To: a@y.org\rBcc: b@y.org\r\rBcc: body@y.org\r";
    ASSERT_TRUE(Scan(content).ok());
    EXPECT_EQ(header_.recipients, (List{"a@y.org", "b@y.org"}));
    ExpectRanges(content, {"Bcc: b@y.org\r"});
    EXPECT_EQ(end_, content.find("Bcc: body"));
  }
  {  // A file with CR line ends scans like the same file with CR LF.
    const std::string crlf =
        "From: s@y.org\r\nTo: a@y.org,\r\n b@y.org\r\nBcc: c@y.org\r\n\r\nbody";
    std::string cr = crlf;
    for (size_t at; (at = cr.find("\r\n")) != std::string::npos;) cr.erase(at + 1, 1);
    ASSERT_TRUE(Scan(crlf).ok());
    RawHeader first = header_;
    ASSERT_TRUE(Scan(cr).ok());
    EXPECT_EQ(header_.sender, first.sender);
    EXPECT_EQ(header_.recipients, first.recipients);
    ExpectRanges(cr, {"Bcc: c@y.org\r"});
    EXPECT_EQ(end_, cr.find("body"));
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
  EXPECT_EQ(line, "b");  // a CR alone ends a line, as on the wire
  EXPECT_TRUE(ReadHeaderLine(&file, &line));
  EXPECT_EQ(line, "");
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
