#include "console/mailinglist/csv_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/mailinglist/subscriber_entry.h"

namespace verdanpost::mailinglist {
namespace {

using ::testing::ElementsAre;

// Every record of |text|, or the reader's complaint as the last "record".
std::vector<CsvRecord> ReadAll(const std::string& text, char* separator = nullptr,
                               std::string* err = nullptr) {
  CsvReader reader(text);
  if (separator != nullptr) *separator = reader.separator();
  std::vector<CsvRecord> records;
  CsvRecord record;
  std::string complaint;
  while (reader.Next(&record, &complaint)) records.push_back(record);
  if (err != nullptr) *err = complaint;
  return records;
}

TEST(CsvReaderTest, SpreadsheetFileWithMarkSemicolonsAndQuotedLineBreaks) {
  // As a spreadsheet in a locale with a decimal comma saves it.
  const std::string text =
      "\xEF\xBB\xBF"
      "Name;E-Mail;MailingAddress\r\n"
      "\"Lee, Ann\";ann@example.org;\"1 Road\r\nTown; \"\"Old\"\" Quarter\"\r\n"
      "\r\n"
      "Bo;bo@example.org;\r\n";
  char separator = 0;
  std::string err;
  const std::vector<CsvRecord> records = ReadAll(text, &separator, &err);
  EXPECT_EQ(separator, ';');
  EXPECT_EQ(err, "");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_THAT(records[0].fields, ElementsAre("Name", "E-Mail", "MailingAddress"));
  EXPECT_THAT(records[1].fields,
              ElementsAre("Lee, Ann", "ann@example.org", "1 Road\r\nTown; \"Old\" Quarter"));
  EXPECT_EQ(records[1].line, 2);
  // The quoted line break and the blank line both count.
  EXPECT_THAT(records[2].fields, ElementsAre("Bo", "bo@example.org", ""));
  EXPECT_EQ(records[2].line, 5);
}

TEST(CsvReaderTest, CommasPlainLineFeedsAndStrayQuotes) {
  char separator = 0;
  const std::vector<CsvRecord> records =
      ReadAll("E-Mail,Name\nsam@example.org,O\"Brien\nx@example.org,\"a\"b\n,\n", &separator);
  EXPECT_EQ(separator, ',');
  ASSERT_EQ(records.size(), 4u);
  EXPECT_THAT(records[1].fields, ElementsAre("sam@example.org", "O\"Brien"));
  EXPECT_THAT(records[2].fields, ElementsAre("x@example.org", "ab"));
  EXPECT_THAT(records[3].fields, ElementsAre("", ""));
}

TEST(CsvReaderTest, FileCutInsideQuotedField) {
  std::string err;
  const std::vector<CsvRecord> records =
      ReadAll("E-Mail,MailingAddress\na@example.org,\"1 Road\nTown", nullptr, &err);
  EXPECT_EQ(records.size(), 1u);
  EXPECT_EQ(err, "the file ends inside the quoted field that starts on line 2");
}

TEST(CsvWriterTest, SpreadsheetGuardOnlyWhenAsked) {
  std::string exact, guarded;
  const std::vector<std::string> fields = {"=1+2", "+x", "-y", "@z", "a=b", ""};
  AppendCsvRecord(fields, ',', false, &exact);
  AppendCsvRecord(fields, ',', true, &guarded);
  EXPECT_EQ(exact, "=1+2,+x,-y,@z,a=b,\r\n");
  EXPECT_EQ(guarded, "'=1+2,'+x,'-y,'@z,a=b,\r\n");
}

TEST(Utf8Test, FirstBrokenLine) {
  EXPECT_EQ(FirstNonUtf8Line("a\nb\xC3\xA9\n\xE2\x82\xAC\n\xF0\x9F\x98\x80"), 0);
  EXPECT_EQ(FirstNonUtf8Line("a\nM\xFCller\n"), 2);     // Latin-1
  EXPECT_EQ(FirstNonUtf8Line("\xC0\xAF"), 1);           // overlong "/"
  EXPECT_EQ(FirstNonUtf8Line("x\n\n\xED\xA0\x80"), 3);  // a surrogate
  EXPECT_EQ(FirstNonUtf8Line("ok\xE2\x82"), 1);         // cut character
}

TEST(SubscriberEntryTest, RefusalsOfTypedOrImportedEntries) {
  EXPECT_EQ(SubscriberEntryRefusal("Ann", "ann@example.org", "1 Road\r\n\tTown"), std::nullopt);
  EXPECT_EQ(SubscriberEntryRefusal("", "\"Ann Lee\"@example.org", ""), std::nullopt);
  EXPECT_EQ(SubscriberEntryRefusal("", "\"a@b\"@example.org", ""), std::nullopt);
  EXPECT_EQ(SubscriberEntryRefusal("Ann\r\nBcc: x@y", "a@b", ""), kNameHasControl);
  EXPECT_EQ(SubscriberEntryRefusal("Ann\xC2\x85", "a@b", ""), kNameHasControl);  // NEL
  EXPECT_EQ(SubscriberEntryRefusal("Ann", "a@b\xE2\x80\xA8", ""), kEmailHasControl);
  EXPECT_EQ(SubscriberEntryRefusal("Ann", "a@b", "Road\x1B"), kMailingAddressHasControl);
  // Non-control letters of other scripts pass.
  EXPECT_EQ(SubscriberEntryRefusal("J\xC3\xBCrgen", "j@b", "\xC2\xA0"), std::nullopt);
  for (const char* address : {"", "ann", "@example.org", "ann@", "a@b@c", "\"a@b\""}) {
    EXPECT_EQ(SubscriberEntryRefusal("", address, ""), kEmailNotOneAt) << address;
  }
  for (const char* address : {" ann@example.org", "ann@example.org ", "ann lee@example.org"}) {
    EXPECT_EQ(SubscriberEntryRefusal("", address, ""), kEmailHasBlank) << address;
  }
  EXPECT_EQ(AddressFoldedCase("Ann.LEE@Example.ORG"), "ann.lee@example.org");
}

}  // namespace
}  // namespace verdanpost::mailinglist
