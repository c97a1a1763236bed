#include "platform/database/database_test_support.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "platform/database/packed_row.h"
#include "platform/database/query.h"
#include "platform/database/statement.h"

namespace verdanpost::database::test_support {
namespace {

namespace fs = std::filesystem;

fs::path MakeTempDir(const char* stem) {
  std::string pattern = (fs::temp_directory_path() / (std::string(stem) + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
  return pattern;
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::trunc);
  out << text;
}

int Run(const std::string& command) { return std::system(command.c_str()); }

fs::path Workspace() {
  static const fs::path dir = MakeTempDir("verdanpost-db-test");
  return dir;
}

// A PostgreSQL cluster on a unix socket in its own directory, with trust
// authentication, run as "postgres" when the tests run as root.
class Cluster {
 public:
  Cluster() : dir_(MakeTempDir("verdanpost-pg")) {}
  ~Cluster() { Stop(); }

  bool Start(std::string* why) {
    if (started_) return true;
    if (!failure_.empty()) {
      *why = failure_;
      return false;
    }
    std::string bin;
    for (const char* version : {"17", "16", "15", "14", "13"}) {
      fs::path candidate = fs::path("/usr/lib/postgresql") / version / "bin";
      if (fs::exists(candidate / "pg_ctl")) {
        bin = candidate.string();
        break;
      }
    }
    if (bin.empty()) return Fail("no PostgreSQL server binaries are installed", why);
    if (geteuid() == 0) {
      passwd* user = getpwnam("postgres");
      if (user == nullptr) return Fail("running as root and there is no user postgres", why);
      if (chown(dir_.c_str(), user->pw_uid, user->pw_gid) != 0) return Fail("chown failed", why);
      as_ = "runuser -u postgres -- ";
    }
    std::string data = (dir_ / "data").string();
    std::string log = (dir_ / "server.log").string();
    if (Run(as_ + bin + "/initdb -D " + data +
            " -A trust -U verdan -E UTF8 --no-locale --no-sync --no-instructions >/dev/null "
            "2>&1") != 0) {
      return Fail("initdb failed in " + dir_.string(), why);
    }
    if (Run(as_ + bin + "/pg_ctl -D " + data + " -l " + log + " -w -t 60 -o \"-k " + dir_.string() +
            " -c listen_addresses='' -p 5432 -F\" start >/dev/null 2>&1") != 0) {
      return Fail("the PostgreSQL server did not start; see " + log, why);
    }
    pg_ctl_ = bin + "/pg_ctl";
    started_ = true;
    return true;
  }

  void Stop() {
    if (started_) {
      Run(as_ + pg_ctl_ + " -D " + (dir_ / "data").string() + " -m immediate stop >/dev/null 2>&1");
      started_ = false;
    }
    if (!dir_.empty()) {
      std::error_code ignored;
      fs::remove_all(dir_, ignored);
      dir_.clear();
    }
  }

  const fs::path& socket_dir() const { return dir_; }

  // Sends |signal| to the server and every process it started.
  bool Signal(int signal) {
    if (!started_) return false;
    std::ifstream pid_file(dir_ / "data" / "postmaster.pid");
    pid_t server = 0;
    if (!(pid_file >> server) || server <= 0) return false;
    std::vector<pid_t> processes{server};
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
      const std::string name = entry.path().filename().string();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      // "PID (COMMAND) STATE PPID ...": the command may hold blanks.
      std::ifstream stat_file(entry.path() / "stat");
      std::string stat;
      std::getline(stat_file, stat);
      size_t close = stat.rfind(')');
      if (close == std::string::npos) continue;
      std::istringstream rest(stat.substr(close + 1));
      std::string state;
      pid_t parent = 0;
      if (rest >> state >> parent && parent == server) processes.push_back(std::stoi(name));
    }
    // A process that ended since it was listed needs no signal.
    bool sent = kill(server, signal) == 0;
    for (size_t i = 1; i < processes.size(); ++i) {
      sent = (kill(processes[i], signal) == 0 || errno == ESRCH) && sent;
    }
    return sent;
  }

 private:
  bool Fail(const std::string& reason, std::string* why) {
    failure_ = reason;
    *why = reason;
    return false;
  }

  fs::path dir_;
  std::string as_;
  std::string pg_ctl_;
  bool started_ = false;
  std::string failure_;
};

Cluster& TheCluster() {
  static Cluster cluster;
  return cluster;
}

// Stops the cluster and removes the ini files and databases when the tests
// end, before static destruction.
class ClusterEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    TheCluster().Stop();
    std::error_code ignored;
    fs::remove_all(Workspace(), ignored);
  }
};
[[maybe_unused]] ::testing::Environment* const kClusterEnvironment =
    ::testing::AddGlobalTestEnvironment(new ClusterEnvironment);

}  // namespace

std::string BackendName(Backend backend) {
  return backend == Backend::kSQLite ? "SQLite" : "PostgreSQL";
}

namespace {

fs::path SQLiteFile() { return Workspace() / "vestro.db"; }

std::string Definition(Backend backend) {
  if (backend == Backend::kSQLite) {
    // A short busy time-out (milliseconds) lets tests meet a locked database.
    return "Driver = SQLite3\nDatabase = " + SQLiteFile().string() + "\nTimeout = 200\n";
  }
  return "Driver = PostgreSQL Unicode\nServername = " + TheCluster().socket_dir().string() +
         "\nPort = 5432\nDatabase = postgres\nUsername = verdan\n";
}

// The driver manager keeps what it read of the ini files for the life of the
// process, so they are written once: "vestro" names the back end asked for
// first, and every back end also has a name of its own.
std::string DataSourceFor(Backend backend) {
  static const Backend vestro = [backend] {
    fs::path dir = Workspace();
    std::ifstream drivers("/etc/odbcinst.ini");
    std::stringstream text;
    text << drivers.rdbuf();
    WriteFile(dir / "odbcinst.ini", text.str());
    // The SQLite driver loads the installer library for each connection and
    // unloads it again; kept loaded, what it leaks can be told by name.
    dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NODELETE);
    fs::create_directories(dir / "nobody");
    WriteFile(dir / "odbc.ini", "[vestro]\n" + Definition(backend) + "\n[vestro-sqlite]\n" +
                                    Definition(Backend::kSQLite) + "\n[vestro-postgresql]\n" +
                                    Definition(Backend::kPostgreSQL) +
                                    "\n[unreachable]\nDriver = PostgreSQL Unicode\nServername = " +
                                    (dir / "nobody").string() +
                                    "\nPort = 5432\nDatabase = postgres\n");
    WriteFile(dir / "user.ini", "");
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINI", (dir / "user.ini").c_str(), 1);
    return backend;
  }();
  if (backend == vestro) return "vestro";
  return backend == Backend::kSQLite ? "vestro-sqlite" : "vestro-postgresql";
}

}  // namespace

std::string UseEmptyDataSource(Backend backend, std::string* why) {
  std::string name = DataSourceFor(backend);
  if (backend == Backend::kSQLite) {
    std::error_code ignored;
    fs::remove(SQLiteFile(), ignored);
    return name;
  }
  if (!TheCluster().Start(why)) return "";
  Execute(name, "DROP SCHEMA IF EXISTS public CASCADE");
  Execute(name, "CREATE SCHEMA public");
  return name;
}

bool StopPostgreSQL() { return TheCluster().Signal(SIGSTOP); }
bool ContinuePostgreSQL() { return TheCluster().Signal(SIGCONT); }

std::string UnreachableDataSource() {
  DataSourceFor(Backend::kSQLite);
  return "unreachable";
}

void Execute(const std::string& data_source, const std::string& sql) {
  Connection connection;
  Status status = connection.Open(data_source);
  ASSERT_TRUE(status.ok()) << status.message();
  Statement statement;
  status = statement.Execute(connection.handle(), sql, {});
  ASSERT_TRUE(status.ok()) << sql << ": " << status.message();
}

std::vector<std::string> FirstColumn(Connection* connection, const std::string& sql,
                                     const char* null_text) {
  std::vector<std::string> rows;
  Status status = QueryRows(*connection, sql, {}, &rows);
  EXPECT_TRUE(status.ok()) << sql << ": " << status.message();
  std::vector<std::string> values;
  for (const std::string& row : rows) values.push_back(UnpackField(row, 0).value_or(null_text));
  return values;
}

}  // namespace verdanpost::database::test_support
