#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/automation/classes_root.h"
#include "platform/automation/registry.h"
#include "platform/automation/registry_test_support.h"

namespace verdanpost {
namespace {

// autoreg run as a user would, on a test server that registers one class
// per run, into a user's data folder and a system registry of the test's own.
class AutoregTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/autoreg_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    unsetenv("AUTOMATION_REGISTRY");
    setenv("XDG_DATA_HOME", (dir_ + "/data").c_str(), 1);
    setenv("AUTOMATION_SYSTEM_REGISTRY", (dir_ + "/etc/verdanpost/classes-root.reg").c_str(), 1);
    const char* build = std::getenv("VERDANPOST_BUILD_DIR");
    ASSERT_NE(build, nullptr);
    autoreg_ = std::string(build) + "/bin/autoreg";
    server_ = std::string(build) + "/lib/libautoreg_test_server.so";
  }
  void TearDown() override { (void)!system(("rm -rf '" + dir_ + "'").c_str()); }

  // Runs one autoreg per ProgID while the test holds the lock of |file|, the
  // registry they write, and lets them go once every one waits for it: so
  // all of them overlap, and each must take the lock before it reads.
  // Gives their exit statuses; *all_waited tells whether they all waited.
  std::vector<int> RegisterAtOnce(const std::vector<std::string>& progids,
                                  const std::vector<const char*>& options, const std::string& file,
                                  bool* all_waited) {
    RegistryLock held;
    std::string err;
    EXPECT_TRUE(held.Acquire(file, &err)) << err;
    std::vector<pid_t> children;
    for (const std::string& progid : progids) {
      pid_t pid = fork();
      if (pid == 0) {
        setenv("TEST_SERVER_PROGID", progid.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(autoreg_.c_str())};
        for (const char* option : options) argv.push_back(const_cast<char*>(option));
        argv.push_back(const_cast<char*>(server_.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
      }
      children.push_back(pid);
    }
    // A run that ends before it waits never took the lock.
    auto one_ended = [&children] {
      for (pid_t pid : children) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == pid) {
          return true;
        }
      }
      return false;
    };
    *all_waited =
        test_support::WaitForLockWaiters(file, static_cast<int>(children.size()), one_ended);
    held.Release();
    std::vector<int> statuses;
    for (pid_t pid : children) {
      int status = 0;
      waitpid(pid, &status, 0);
      statuses.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
    return statuses;
  }

  std::string dir_, autoreg_, server_;
};

TEST_F(AutoregTest, RunsAtTheSameMomentKeepEveryClass) {
  std::vector<std::string> progids;
  for (int i = 0; i < 10; ++i) progids.push_back("Test.Class" + std::to_string(i) + ".1");
  const std::string user = Registry::DefaultPath(), system = SystemRegistryPath();
  for (const std::string& file : {user, system}) {
    SCOPED_TRACE(file);
    std::vector<const char*> options;
    if (file == system) options.push_back("--system");
    bool all_waited = false;
    EXPECT_EQ(RegisterAtOnce(progids, options, file, &all_waited),
              std::vector<int>(progids.size(), 0));
    EXPECT_TRUE(all_waited);
    Registry registry;
    std::string err;
    ASSERT_TRUE(registry.Load(file, &err)) << err;
    for (const std::string& progid : progids)
      EXPECT_EQ(registry.GetValue(progid + "\\CLSID"), progid);

    options.insert(options.begin(), "-u");
    EXPECT_EQ(RegisterAtOnce(progids, options, file, &all_waited),
              std::vector<int>(progids.size(), 0));
    EXPECT_TRUE(all_waited);
    ASSERT_TRUE(registry.Load(file, &err)) << err;
    for (const std::string& progid : progids) EXPECT_FALSE(registry.KeyExists(progid));
  }
}

}  // namespace
}  // namespace verdanpost
