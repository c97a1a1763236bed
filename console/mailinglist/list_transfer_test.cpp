// Import and export of the list on every back end, through the functions the
// command line and the console's commands share.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "console/mailinglist/list_export.h"
#include "console/mailinglist/list_import.h"
#include "console/mailinglist/list_schema.h"
#include "console/mailinglist/list_test_support.h"
#include "console/mailinglist/list_transfer_command.h"
#include "platform/database/database_test_support.h"

namespace verdanpost::mailinglist {
namespace {

namespace fs = std::filesystem;
using database::test_support::Backend;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A greeter whose server refuses the addresses it is given.
class FakeGreeter : public ImportGreeter {
 public:
  bool Greet(const std::string& name, const std::string& email, std::string* why) override {
    greeted.push_back(name + " <" + email + ">");
    if (refused.count(email) == 0) return true;
    *why = "Recipient refused (5)";
    return false;
  }
  std::vector<std::string> greeted;
  std::set<std::string> refused;
};

class ListTransferTest : public testing_support::ListBackendTest {
 protected:
  void SetUp() override {
    ListBackendTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(CreateTables(list_.get()).ok());
    dir_ = fs::path(std::getenv("HOME")) / "transfer";
    fs::create_directories(dir_);
  }

  std::string WriteFile(const std::string& name, const std::string& text) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  Status Import(const std::string& path, ImportOutcome* outcome, ImportOptions options = {}) {
    return ImportSubscribers(list_, path, options, outcome);
  }

  // Each row of |table| as "column=value|..." over |columns|, in list order.
  std::vector<std::string> Rows(const std::string& table, const std::vector<std::string>& columns) {
    std::vector<std::string> rows;
    Recordset records;
    EXPECT_TRUE(records.Open(table, list_.get()).ok());
    while (!records.eof()) {
      std::string row;
      for (const std::string& column : columns) {
        std::string value;
        EXPECT_TRUE(FieldText(records, column, &value).ok()) << column;
        row += (row.empty() ? "" : "|") + value;
      }
      rows.push_back(row);
      EXPECT_TRUE(records.MoveNext().ok());
    }
    return rows;
  }

  void Subscribe(const std::string& name, const std::string& email) {
    Recordset rows;
    ASSERT_TRUE(AppendSubscriber(list_, {name, email, ""}, &rows).ok());
  }

  fs::path dir_;
};

TEST_P(ListTransferTest, SpreadsheetExportWithMarkSemicolonsAndQuotedFields) {
  const std::string path =
      WriteFile("people.csv",
                "\xEF\xBB\xBF"
                "NAME;e-mail;Phone;mailingaddress;BraSize\r\n"
                "\"Lee, Ann\";ann@example.org;555;\"1 Road, Flat \"\"B\"\"\r\nTown\";34\r\n"
                "J\xC3\xBCrgen;j@example.org;;;\r\n");
  ImportOutcome outcome;
  Status status = Import(path, &outcome);
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_EQ(ImportSummary(outcome, false),
            "2 subscribers added; 0 duplicates and 0 invalid rows skipped\n"
            "Columns ignored: Phone.");
  EXPECT_THAT(Rows(kMailingList, {"Name", "E-Mail", "MailingAddress", "BraSize", "IPAddress"}),
              ElementsAre("Lee, Ann|ann@example.org|1 Road, Flat \"B\"\r\nTown|34|127.0.0.1",
                          "J\xC3\xBCrgen|j@example.org||0|127.0.0.1"));
  // Dated as Add dates a row.
  EXPECT_THAT(Rows(kMailingList, {"DateCreated"})[0],
              ::testing::MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}"));
  EXPECT_FALSE(fs::exists(path + ".skipped.csv"));
}

TEST_P(ListTransferTest, DuplicatesAndHostileRowsAreSkippedAndListed) {
  Subscribe("Ann", "Ann@Example.org");
  const std::string path =
      WriteFile("mixed.csv",
                "E-Mail,Name,BraSize\n"
                "ann@example.ORG,Ann again,\n"              // 2: on the list
                "bo@example.org,Bo,\n"                      // 3
                "BO@example.org,Bo twice,\n"                // 4: earlier in the file
                "cy@example.org,\"Cy\r\nBcc: all@x\",\n"    // 5 and 6: control characters
                "no-at-sign,Dee,\n"                         // 7
                "ed @example.org,Ed,\n"                     // 8
                "fay@example.org,Fay,big\n"                 // 9
                "=1+cmd|'calc'!A0@example.org,-Formula,\n"  // 10: kept exactly
      );
  ImportOutcome outcome;
  ASSERT_TRUE(Import(path, &outcome).ok());
  EXPECT_EQ(outcome.added, 2);
  EXPECT_EQ(outcome.duplicates, 2);
  EXPECT_EQ(outcome.invalid, 4);
  EXPECT_EQ(ImportSummary(outcome, false),
            "2 subscribers added; 2 duplicates and 4 invalid rows skipped\n"
            "The skipped rows are listed in \"" +
                path + ".skipped.csv\".");
  EXPECT_THAT(Rows(kMailingList, {"E-Mail", "Name"}),
              ElementsAre("Ann@Example.org|Ann", "bo@example.org|Bo",
                          "=1+cmd|'calc'!A0@example.org|-Formula"));
  EXPECT_EQ(ReadFile(path + ".skipped.csv"),
            "Line,Reason,E-Mail,Name,BraSize\r\n"
            "2,already on the list,ann@example.ORG,Ann again,\r\n"
            "4,also on line 3,BO@example.org,Bo twice,\r\n"
            "5,the name contains a line break or another control character,cy@example.org,"
            "\"Cy\r\nBcc: all@x\",\r\n"
            "7,the e-mail address does not have exactly one @ with text on both sides,"
            "no-at-sign,Dee,\r\n"
            "8,the e-mail address contains a blank,ed @example.org,Ed,\r\n"
            "9,BraSize is not a whole number from -32768 to 32767,fay@example.org,Fay,big\r\n");

  // A second import of the same file adds nobody, and a clean one removes
  // the stale list of skipped rows.
  ASSERT_TRUE(Import(path, &outcome).ok());
  EXPECT_EQ(outcome.added, 0);
  EXPECT_EQ(outcome.duplicates, 4);
  ASSERT_TRUE(Import(WriteFile("mixed.csv", "E-Mail\ngus@example.org\n"), &outcome).ok());
  EXPECT_FALSE(fs::exists(path + ".skipped.csv"));
}

TEST_P(ListTransferTest, UnusableFilesAddNobody) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"E-Mail,Name\na@example.org,M\xFCller\n", "\" is not UTF-8 text (line 2)"},
      {"Mail,Name\na@example.org,Ann\n", "\" has no E-Mail column in its first line."},
      {"E-Mail,MailingAddress\na@example.org,\"1 Road\nb@example.org,x\n",
       "\": the file ends inside the quoted field that starts on line 2."},
      {"", "\" is empty."},
  };
  for (const auto& c : cases) {
    ImportOutcome outcome;
    const Status status = Import(WriteFile("bad.csv", c.text), &outcome);
    EXPECT_THAT(status.message(), HasSubstr(c.error)) << c.text;
    EXPECT_THAT(status.message(), HasSubstr("Nobody was added.")) << c.text;
  }
  ImportOutcome outcome;
  EXPECT_THAT(Import((dir_ / "missing.csv").string(), &outcome).message(),
              HasSubstr("missing.csv\": No such file or directory. Nobody was added."));
  EXPECT_TRUE(Rows(kMailingList, {"E-Mail"}).empty());
}

TEST_P(ListTransferTest, DryRunChecksWithoutWriting) {
  Subscribe("Ann", "ann@example.org");
  const std::string path = WriteFile("dry.csv", "E-Mail\nann@example.org\nbo@example.org\nx\n");
  ImportOutcome outcome;
  ImportOptions options;
  options.dry_run = true;
  ASSERT_TRUE(Import(path, &outcome, options).ok());
  EXPECT_EQ(ImportSummary(outcome, true),
            "1 subscriber would be added; 1 duplicate and 1 invalid row skipped\n"
            "The skipped rows are listed in \"" +
                path + ".skipped.csv\".");
  EXPECT_THAT(Rows(kMailingList, {"E-Mail"}), ElementsAre("ann@example.org"));
}

TEST_P(ListTransferTest, GreetingAddsOnlyThoseAccepted) {
  FakeGreeter greeter;
  greeter.refused = {"bo@example.org"};
  ImportOptions options;
  options.greeter = &greeter;
  ImportOutcome outcome;
  const std::string path =
      WriteFile("greet.csv", "Name,E-Mail\nAnn,ann@example.org\nBo,bo@example.org\nCy,x\n");
  ASSERT_TRUE(Import(path, &outcome, options).ok());
  // The invalid row is not greeted at all.
  EXPECT_THAT(greeter.greeted, ElementsAre("Ann <ann@example.org>", "Bo <bo@example.org>"));
  EXPECT_THAT(Rows(kMailingList, {"E-Mail"}), ElementsAre("ann@example.org"));
  EXPECT_THAT(ImportSummary(outcome, false),
              HasSubstr("1 subscriber added; 0 duplicates and 1 invalid row skipped\n"
                        "1 subscriber was not added: the greeting was not sent."));
  EXPECT_THAT(ReadFile(path + ".skipped.csv"),
              HasSubstr("3,the greeting was not sent: Recipient refused (5),Bo,bo@example.org"));
}

TEST_P(ListTransferTest, LargeFileGoesInGroupsAndCanBeStopped) {
  std::string text = "E-Mail\n";
  for (int i = 0; i < 2500; ++i) text += "user" + std::to_string(i) + "@example.org\n";
  const std::string path = WriteFile("big.csv", text);
  std::vector<int64_t> told;
  ImportOptions options;
  options.progress = [&told](int64_t done, int64_t rows) {
    told.push_back(done);
    EXPECT_EQ(rows, 2500);
    return told.size() < 2;
  };
  ImportOutcome outcome;
  ASSERT_TRUE(Import(path, &outcome, options).ok());
  EXPECT_THAT(told, ElementsAre(1000, 2000));
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(Rows(kMailingList, {"E-Mail"}).size(), 2000u);
  EXPECT_EQ(ImportSummary(outcome, false),
            "2,000 subscribers added; 0 duplicates and 0 invalid rows skipped; stopped before "
            "the end of the file");
  // The rest follows on a second run, the first 2,000 being duplicates.
  ASSERT_TRUE(Import(path, &outcome).ok());
  EXPECT_EQ(outcome.added, 500);
  EXPECT_EQ(outcome.duplicates, 2000);
}

TEST_P(ListTransferTest, AddressAddedMeanwhileIsADuplicateNotASecondRow) {
  std::string text = "E-Mail\n";
  for (int i = 0; i < 1500; ++i) text += "user" + std::to_string(i) + "@example.org\n";
  ImportOptions options;
  // Between the groups, another connection adds one of the second group's.
  options.progress = [this](int64_t done, int64_t) {
    if (done == 1000) {
      ListConnection other;
      Recordset rows;
      EXPECT_TRUE(other.Open(source_).ok());
      EXPECT_TRUE(AppendSubscriber(other, {"Typed", "USER1200@example.org", ""}, &rows).ok());
    }
    return true;
  };
  ImportOutcome outcome;
  const std::string path = WriteFile("race.csv", text);
  const Status status = Import(path, &outcome, options);
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_EQ(outcome.added, 1499);
  EXPECT_EQ(outcome.duplicates, 1);
  EXPECT_EQ(Rows(kMailingList, {"E-Mail"}).size(), 1500u);
  EXPECT_THAT(ReadFile(path + ".skipped.csv"),
              HasSubstr("1202,already on the list,user1200@example.org"));
}

TEST_P(ListTransferTest, ExportThenImportGivesTheSameList) {
  const std::vector<std::string> columns = {"Name",    "E-Mail",      "MailingAddress",
                                            "BraSize", "DateCreated", "IPAddress"};
  const std::string source = WriteFile(
      "start.csv",
      "Name,E-Mail,MailingAddress,BraSize,DateCreated,IPAddress\n"
      "\"Lee, Ann\",ann@example.org,\"1 Road\r\n\"\"Town\"\"\",34,2020-01-02 03:04:05,10.0.0.1\n"
      "=SUM(A1),bo@example.org,,0,2021-05-06 07:08:09,127.0.0.1\n"
      "\xE6\x9D\x8E,li@example.org,\xE5\x8C\x97\xE4\xBA\xAC,-1,2022-01-01 00:00:00,::1\n");
  ImportOutcome outcome;
  ASSERT_TRUE(Import(source, &outcome).ok());
  const std::vector<std::string> before = Rows(kMailingList, columns);
  ASSERT_EQ(before.size(), 3u);

  const std::string exported = (dir_ / "out.csv").string();
  int64_t count = 0;
  Status status = ExportList(list_, exported, {}, &count);
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_EQ(count, 3);
  const std::string text = ReadFile(exported);
  EXPECT_EQ(text.substr(0, text.find("\r\n")),
            "ID,Name,E-Mail,MailingAddress,BraSize,DateCreated,IPAddress");
  EXPECT_THAT(text, HasSubstr(",=SUM(A1),bo@example.org,"));  // exact by default
  EXPECT_FALSE(fs::exists(exported + ".part"));

  database::test_support::Execute(source_, "DELETE FROM \"MailingList\"");
  ASSERT_TRUE(Import(exported, &outcome).ok());
  EXPECT_EQ(ImportSummary(outcome, false),
            "3 subscribers added; 0 duplicates and 0 invalid rows skipped\nColumns ignored: ID.");
  EXPECT_EQ(Rows(kMailingList, columns), before);

  // For a spreadsheet: the mark, and formula-like fields made text.
  ExportOptions spreadsheet;
  spreadsheet.for_spreadsheet = true;
  ASSERT_TRUE(ExportList(list_, exported, spreadsheet, &count).ok());
  EXPECT_TRUE(ReadFile(exported).starts_with("\xEF\xBB\xBFID,Name,"));
  EXPECT_THAT(ReadFile(exported), HasSubstr(",'=SUM(A1),bo@example.org,"));
  EXPECT_THAT(ReadFile(exported), HasSubstr(",'-1,"));
}

TEST_P(ListTransferTest, ExportOfRemovalsAndCommandLine) {
  Subscribe("Ann", "ann@example.org");
  {
    Recordset lookup, log;
    ASSERT_TRUE(lookup.Open(SubscriberLookupQuery("ann@example.org"), list_.get()).ok());
    ASSERT_TRUE(AppendRemoval(list_, "Operator", lookup, &log).ok());
  }
  const std::string out = (dir_ / "removed.csv").string();
  std::FILE* said = std::tmpfile();
  std::FILE* complained = std::tmpfile();
  EXPECT_EQ(RunTransferCommand({"export", out, "--removed"}, source_, nullptr, said, complained),
            0);
  EXPECT_THAT(ReadFile(out), HasSubstr("ID,DeleterName,Name,E-Mail,DateCreated,DateDeleted,"
                                       "IPCreatedFrom,IPDeletedFrom\r\n"));
  EXPECT_THAT(ReadFile(out), HasSubstr(",Operator,Ann,ann@example.org,"));

  // Wrong words, and a greeting that cannot be made, change nothing.
  EXPECT_EQ(RunTransferCommand({"import"}, source_, nullptr, said, complained), 2);
  EXPECT_EQ(RunTransferCommand({"export", out, "--greet"}, source_, nullptr, said, complained), 2);
  const std::string in = WriteFile("in.csv", "E-Mail\nbo@example.org\n");
  EXPECT_EQ(RunTransferCommand({"import", in, "--greet"}, source_, nullptr, said, complained), 1);
  EXPECT_EQ(RunTransferCommand({"import", "--dry-run", in}, source_, nullptr, said, complained), 0);
  EXPECT_EQ(RunTransferCommand({"import", in}, source_, nullptr, said, complained), 0);
  std::rewind(said);
  std::rewind(complained);
  char buffer[4096] = {};
  std::string output(buffer, std::fread(buffer, 1, sizeof(buffer) - 1, said));
  EXPECT_EQ(output, "1 removal exported to \"" + out +
                        "\"\n"
                        "1 subscriber would be added; 0 duplicates and 0 invalid rows skipped\n"
                        "1 subscriber added; 0 duplicates and 0 invalid rows skipped\n");
  std::string errors(buffer, std::fread(buffer, 1, sizeof(buffer) - 1, complained));
  EXPECT_THAT(errors, HasSubstr("No greeting can be sent, so nobody was added"));
  std::fclose(said);
  std::fclose(complained);
  EXPECT_THAT(Rows(kMailingList, {"E-Mail"}), ElementsAre("ann@example.org", "bo@example.org"));
}

INSTANTIATE_TEST_SUITE_P(Backends, ListTransferTest,
                         ::testing::Values(Backend::kSQLite, Backend::kPostgreSQL),
                         testing_support::BackendTestName);

}  // namespace
}  // namespace verdanpost::mailinglist
