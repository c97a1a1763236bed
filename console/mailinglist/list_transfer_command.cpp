#include "console/mailinglist/list_transfer_command.h"

#include "console/mailinglist/list_export.h"

namespace verdanpost::mailinglist {

bool IsTransferCommand(const std::vector<std::string>& args) {
  return !args.empty() && (args[0] == "import" || args[0] == "export");
}

int RunTransferCommand(const std::vector<std::string>& args, const std::string& data_source,
                       const GreeterMaker& make_greeter, std::FILE* out, std::FILE* err) {
  const bool importing = args[0] == "import";
  std::string path;
  bool dry_run = false, greet = false, removed = false, for_spreadsheet = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& word = args[i];
    bool* flag = nullptr;
    if (importing && word == "--dry-run") flag = &dry_run;
    if (importing && word == "--greet") flag = &greet;
    if (!importing && word == "--removed") flag = &removed;
    if (!importing && word == "--for-spreadsheet") flag = &for_spreadsheet;
    if (flag != nullptr) {
      *flag = true;
    } else if (path.empty() && !word.starts_with("--")) {
      path = word;
    } else {
      std::fprintf(err, "%s: unknown option or second file: %s\n", args[0].c_str(), word.c_str());
      return 2;
    }
  }
  if (path.empty()) {
    std::fprintf(err, "%s: name the CSV file\n", args[0].c_str());
    return 2;
  }

  ListConnection list;
  Status status = list.Open(data_source);
  if (!status.ok()) {
    std::fprintf(err, "The mailing list could not be opened: %s\n", status.message().c_str());
    return 1;
  }
  if (!importing) {
    int64_t rows = 0;
    status = ExportList(list, path, {removed, for_spreadsheet}, &rows);
    list.Close();
    if (!status.ok()) {
      std::fprintf(err, "%s\n", status.message().c_str());
      return 1;
    }
    std::fprintf(
        out, "%s %s exported to \"%s\"\n", GroupedNumber(rows).c_str(),
        removed ? (rows == 1 ? "removal" : "removals") : (rows == 1 ? "subscriber" : "subscribers"),
        path.c_str());
    return 0;
  }

  std::unique_ptr<ImportGreeter> greeter;
  if (greet && !dry_run) {
    std::string why;
    greeter = make_greeter ? make_greeter(&why) : nullptr;
    if (greeter == nullptr) {
      std::fprintf(err, "No greeting can be sent, so nobody was added: %s\n", why.c_str());
      return 1;
    }
  }
  ImportOptions options;
  options.dry_run = dry_run;
  options.greeter = greeter.get();
  ImportOutcome outcome;
  status = ImportSubscribers(list, path, options, &outcome);
  greeter.reset();  // ends the greeting session before the list closes
  list.Close();
  if (!status.ok()) {
    std::fprintf(err, "%s\n", status.message().c_str());
    if (outcome.added > 0 || !outcome.report_path.empty()) {
      std::fprintf(err, "%s\n", ImportSummary(outcome, dry_run).c_str());
    }
    return 1;
  }
  std::fprintf(out, "%s\n", ImportSummary(outcome, dry_run).c_str());
  return 0;
}

}  // namespace verdanpost::mailinglist
