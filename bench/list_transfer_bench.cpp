// Import and export of 100,000 subscribers on SQLite and PostgreSQL, against
// 1,000 single Adds (the existence query and the append of each); then the
// subscribers window on 100,000: opening it, each key typed into its filter,
// and the memory it takes.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <QApplication>
#include <QLineEdit>
#include <QTableView>

#include "bench/bench_memory.h"
#include "console/mailinglist/list_export.h"
#include "console/mailinglist/list_import.h"
#include "console/mailinglist/list_schema.h"
#include "console/window/list_commands.h"
#include "platform/database/database_test_support.h"
#include "platform/database/statement.h"
#include "platform/database/write_lock.h"

namespace verdanpost {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using database::test_support::Backend;

constexpr int kRows = 100000;
constexpr int kSingleAdds = 1000;

double Seconds(const std::function<void()>& run) {
  const Clock::time_point start = Clock::now();
  run();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void Check(const database::Status& status, const char* what) {
  if (status.ok()) return;
  std::fprintf(stderr, "%s: %s\n", what, status.message().c_str());
  std::exit(1);
}

// An operations view that answers nothing: the window only reads here.
class QuietView : public OperationsView {
 public:
  AddPageInputs AddInputs() const override { return {}; }
  RemovePageInputs RemoveInputs() const override { return {}; }
  SendInputs CurrentSendInputs() const override { return {}; }
  void OpenMessageTab(int) override {}
  void ShowMessage(const QString&) override {}
  bool AskMessage(const QString&) override { return false; }
  void RunSend(const ProgressingSend&) override {}
};

class NoDialogs : public TransferDialogs {
 public:
  std::optional<ImportRequest> ChooseImportFile() override { return std::nullopt; }
  std::optional<ExportRequest> ChooseExportFile() override { return std::nullopt; }
  bool ImportProgress(int64_t, int64_t) override { return true; }
  void ImportEnded() override {}
};

class NoMailers : public MailerFactory {
 public:
  std::unique_ptr<MailerClient> Create(QString* err) override {
    *err = "none";
    return nullptr;
  }
};

// Import, export and single Adds on one back end; the data source stays
// filled with the 100,000 imported subscribers.
void TransferOn(Backend backend, const fs::path& dir, const std::string& source, bool single_adds) {
  const std::string name = database::test_support::BackendName(backend);
  mailinglist::ListConnection list;
  Check(list.Open(source), "open");
  Check(mailinglist::CreateTables(list.get()), "create tables");

  const std::string csv = (dir / "subscribers.csv").string();
  double import = Seconds([&] {
    mailinglist::ImportOutcome outcome;
    Check(mailinglist::ImportSubscribers(list, csv, {}, &outcome), "import");
    if (outcome.added != kRows) std::fprintf(stderr, "only %lld added\n", (long long)outcome.added);
  });
  double exported = Seconds([&] {
    int64_t rows = 0;
    Check(mailinglist::ExportList(list, (dir / ("out-" + name + ".csv")).string(), {}, &rows),
          "export");
  });

  // 1,000 Adds on a list already holding the 100,000, as Add writes: under
  // the list's write lock the existence query, then the append (the
  // greeting, which goes between them, left out).
  double adds = Seconds([&] {
    for (int i = 0; i < kSingleAdds && single_adds; ++i) {
      const std::string email = "single" + std::to_string(i) + "@example.org";
      database::WriteLock lock(list.get());
      Check(mailinglist::LockMailingList(&lock), "lock");
      mailinglist::Recordset query;
      Check(query.Open(mailinglist::EmailExistsQuery(email), list.get()), "exists");
      int64_t count = 0;
      Check(query.RecordCount(&count), "count");
      query.Close();
      mailinglist::Recordset rows;
      Check(mailinglist::AppendSubscriber(list, {"Single", email, ""}, &rows), "append");
      Check(lock.Commit(), "commit");
    }
  });
  const double per_add = adds / kSingleAdds;
  const double per_import_row = import / kRows;
  std::printf("%-10s  import %d rows  %6.2f s   (goal: under %s)\n", name.c_str(), kRows, import,
              backend == Backend::kSQLite ? "10 s" : "30 s");
  std::printf("%-10s  export %d rows  %6.2f s   (goal: under 3 s)\n", name.c_str(), kRows,
              exported);
  if (single_adds) {
    std::printf(
        "%-10s  %d single Adds   %6.2f s   = %.2f ms a row; import %.3f ms a row, %.0f "
        "times faster (goal: about 100)\n",
        name.c_str(), kSingleAdds, adds, per_add * 1e3, per_import_row * 1e3,
        per_add / per_import_row);
  }
  list.Close();
}

// The subscribers window on |source|, which holds 100,000 subscribers.
void WindowOn(const std::string& source) {
  const long before = bench::MemoryKiB("VmRSS");
  QuietView view;
  NoDialogs dialogs;
  NoMailers mailers;
  QWidget console;
  ListCommands commands(console, view, dialogs, mailers, source);
  const double open = Seconds([&] {
    commands.Subscribers_Click();
    QApplication::processEvents();  // laid out and painted, the first rows read
  });
  SubscribersWindow& window = *commands.subscribers_window();
  auto* filter = window.findChild<QLineEdit*>(QStringLiteral("SubscribersFilter"));
  auto* table = window.findChild<QTableView*>(QStringLiteral("SubscribersTable"));
  // Scroll through the whole list once, a screen at a time.
  int screens = 0;
  const double scroll = Seconds([&] {
    for (int row = 0; row < table->model()->rowCount(); row += 25, ++screens) {
      table->scrollTo(table->model()->index(row, 0));
      QApplication::processEvents();
    }
  });
  // Wall time, and the processor time this process took: on a busy machine
  // the first waits for the processor, the second does not.
  double slowest = 0, total = 0, slowest_cpu = 0, total_cpu = 0;
  const QString typed = QStringLiteral("user9999");
  for (int i = 1; i <= typed.size(); ++i) {
    const std::clock_t cpu_start = std::clock();
    const double key = Seconds([&] {
      filter->setText(typed.left(i));
      QApplication::processEvents();
    });
    const double cpu = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
    slowest = std::max(slowest, key);
    total += key;
    slowest_cpu = std::max(slowest_cpu, cpu);
    total_cpu += cpu;
  }
  const long after = bench::MemoryKiB("VmRSS");
  std::printf("window    open on %d      %6.3f s   (goal: under 1 s)\n", kRows, open);
  std::printf(
      "window    filter, %d keys   %6.1f ms a key on average, %.1f ms the slowest "
      "(goal: under 100 ms);\n          processor time %.1f ms a key on average, %.1f ms the "
      "most\n",
      static_cast<int>(typed.size()), total / typed.size() * 1e3, slowest * 1e3,
      total_cpu / typed.size() * 1e3, slowest_cpu * 1e3);
  std::printf("window    scroll through all  %6.1f ms a screen of 25 rows, %d screens\n",
              scroll / screens * 1e3, screens);
  std::printf(
      "window    memory             %6.1f MiB more resident with the window open "
      "(process peak %.1f MiB; goal: under 100 MB)\n",
      (after - before) / 1024.0, bench::MemoryKiB("VmHWM") / 1024.0);
}

int Main(int argc, char** argv) {
  if (getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const fs::path dir =
      fs::temp_directory_path() / ("list-transfer-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  {
    std::ofstream csv(dir / "subscribers.csv", std::ios::binary);
    csv << "Name,E-Mail,MailingAddress,BraSize\r\n";
    for (int i = 1; i <= kRows; ++i) {
      csv << "\"Subscriber " << i << "\",user" << i << "@example.org,\"" << i
          << " Long Road\r\nTown\",0\r\n";
    }
  }
  // "window": the window's figures alone, on SQLite.
  const bool window_only = argc > 1 && std::string(argv[1]) == "window";
  std::string sqlite;
  for (Backend backend : {Backend::kSQLite, Backend::kPostgreSQL}) {
    if (window_only && backend != Backend::kSQLite) continue;
    std::string why;
    const std::string source = database::test_support::UseEmptyDataSource(backend, &why);
    if (source.empty()) {
      std::printf("%s: skipped, %s\n", database::test_support::BackendName(backend).c_str(),
                  why.c_str());
      continue;
    }
    TransferOn(backend, dir, source, !window_only);
    if (backend == Backend::kSQLite) sqlite = source;
  }
  if (!sqlite.empty()) WindowOn(sqlite);
  fs::remove_all(dir);
  return 0;
}

}  // namespace
}  // namespace verdanpost

int main(int argc, char** argv) { return verdanpost::Main(argc, argv); }
