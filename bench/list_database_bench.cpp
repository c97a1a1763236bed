// Prints what the list database work of one subscribe and one unsubscribe
// costs with 1,000 and with 100,000 subscribers in an SQLite database
// reached through "vestro", and what walking all 100,000 addresses through
// a record set, and reading them all into memory at once, cost in time and
// memory. Goals: the larger list no more than twice the smaller one's time
// per operation; the walk and the read each under a second and 64 MiB.
//
// Usage: list_database_bench [DIRECTORY]. The databases go in a fresh
// directory inside DIRECTORY (default: the temporary directory). Each write
// commits, so on a disk the figures carry its flush time; a directory in
// /dev/shm shows the database work alone.

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_list.h"
#include "bench/bench_memory.h"
#include "console/mailinglist/list_database.h"

namespace verdanpost {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using bench::MemoryKiB;
using mailinglist::ListConnection;
using mailinglist::Recordset;
using mailinglist::Status;

void Check(const Status& status, const char* what) {
  if (status.ok()) return;
  std::fprintf(stderr, "%s: %s\n", what, status.message().c_str());
  std::exit(1);
}

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The median time of one subscribe and of one unsubscribe.
struct Figures {
  double subscribe_ms;
  double unsubscribe_ms;
};

// Rounds |first| to |first| + |rounds| - 1: each adds a new address and
// removes an existing one.
Figures MeasureOperations(ListConnection& list, int subscribers, int first, int rounds) {
  std::vector<double> subscribe, unsubscribe;
  for (int round = first; round < first + rounds; ++round) {
    std::string email = "new" + std::to_string(round) + "@example.org";
    auto start = Clock::now();
    {
      Recordset query;
      Check(query.Open(mailinglist::EmailExistsQuery(email), list.get()), "existence query");
      int64_t count = 0;
      Check(query.RecordCount(&count), "count");
      if (count != 0) Check(Status::Error("the new address exists already"), email.c_str());
      query.Close();
      Recordset rows;
      Check(mailinglist::AppendSubscriber(list, {"New", email, "Road"}, &rows), "append");
    }
    subscribe.push_back(Milliseconds(Clock::now() - start));

    // Spread over the whole list.
    std::string gone = "user" + std::to_string(1 + (round * 7919L) % subscribers) + "@example.org";
    start = Clock::now();
    {
      Recordset lookup;
      Check(lookup.Open(mailinglist::SubscriberLookupQuery(gone), list.get()), "lookup");
      int64_t count = 0;
      Check(lookup.RecordCount(&count), "count");
      if (count != 1) Check(Status::Error("the address is not there"), gone.c_str());
      {
        Recordset log;
        Check(mailinglist::AppendRemoval(list, "Operator", lookup, &log), "log");
        Check(mailinglist::TrimRemovalLog(log), "trim");
      }
      Check(lookup.Delete(), "delete");
    }
    unsubscribe.push_back(Milliseconds(Clock::now() - start));
  }
  return {Median(subscribe), Median(unsubscribe)};
}

int Main(int argc, char** argv) {
  fs::path parent = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
  fs::path dir = parent / ("verdanpost-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const int kRounds = 101;

  std::printf("list database on SQLite through \"vestro\" (%s), median of %d operations\n",
              dir.c_str(), kRounds);
  std::vector<Figures> figures;
  for (int subscribers : {1000, 100000}) {
    fs::path database = dir / ("list" + std::to_string(subscribers) + ".db");
    bench::DefineDataSource(dir, database);
    ListConnection list;
    Check(list.Open(), "open vestro");
    Check(bench::FillMailingList(list, subscribers), "fill");
    // Warm the caches once, then measure.
    MeasureOperations(list, subscribers, 0, 3);
    figures.push_back(MeasureOperations(list, subscribers, 3, kRounds));
    std::printf("  %6d subscribers: subscribe %.3f ms, unsubscribe %.3f ms\n", subscribers,
                figures.back().subscribe_ms, figures.back().unsubscribe_ms);
    Check(list.Close(), "close");
  }
  std::printf("  ratio 100,000 / 1,000: subscribe %.2f, unsubscribe %.2f (goal: at most 2)\n",
              figures[1].subscribe_ms / figures[0].subscribe_ms,
              figures[1].unsubscribe_ms / figures[0].unsubscribe_ms);

  // The bulk send's walk over the 100,000-row list (less the removals).
  ListConnection list;
  Check(list.Open(), "open vestro");
  std::ofstream("/proc/self/clear_refs") << "5";  // resets the peak to the current size
  long rss_before = MemoryKiB("VmRSS");
  auto start = Clock::now();
  Recordset rows;
  Check(rows.Open(mailinglist::kMailingList, list.get()), "open MailingList");
  int64_t count = 0;
  Check(rows.RecordCount(&count), "count");
  int64_t walked = 0;
  size_t bytes = 0;
  std::string address;
  while (!rows.eof()) {
    Check(mailinglist::FieldText(rows, "E-Mail", &address), "field");
    bytes += address.size();
    Check(rows.MoveNext(), "move");
    ++walked;
  }
  double walk_ms = Milliseconds(Clock::now() - start);
  long peak = MemoryKiB("VmHWM");
  rows.Close();
  Check(list.Close(), "close");
  std::printf("  walk: %lld of %lld rows (%zu address bytes) in %.1f ms (goal: under 1000 ms)\n",
              static_cast<long long>(walked), static_cast<long long>(count), bytes, walk_ms);
  std::printf(
      "  walk memory: resident %.1f MiB before, peak %.1f MiB during, %.1f MiB more "
      "(goal: under 64 MiB)\n",
      rss_before / 1024.0, peak / 1024.0, (peak - rss_before) / 1024.0);

  // The bulk send's read of every address into memory, the statement closed
  // before the first message would go out.
  Check(list.Open(), "open vestro");
  std::ofstream("/proc/self/clear_refs") << "5";
  rss_before = MemoryKiB("VmRSS");
  start = Clock::now();
  std::vector<std::optional<std::string>> addresses;
  Check(mailinglist::ReadSubscriberAddresses(list, &addresses), "read addresses");
  double read_ms = Milliseconds(Clock::now() - start);
  peak = MemoryKiB("VmHWM");
  bytes = 0;
  for (const auto& read : addresses) bytes += read ? read->size() : 0;
  Check(list.Close(), "close");
  std::printf(
      "  read of all addresses: %zu rows (%zu address bytes) in %.1f ms (goal: under 1000 ms)\n",
      addresses.size(), bytes, read_ms);
  std::printf(
      "  read memory: resident %.1f MiB before, peak %.1f MiB during, %.1f MiB more "
      "(goal: under 64 MiB)\n",
      rss_before / 1024.0, peak / 1024.0, (peak - rss_before) / 1024.0);
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return 0;
}

}  // namespace
}  // namespace verdanpost

int main(int argc, char** argv) { return verdanpost::Main(argc, argv); }
