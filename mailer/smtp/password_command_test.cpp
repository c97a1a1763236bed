#include "mailer/smtp/password_command.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace verdanpost {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

class PasswordCommandTest : public ::testing::Test {
 protected:
  ~PasswordCommandTest() override { fs::remove_all(dir_); }

  Outcome Run(const std::string& command, milliseconds limit = milliseconds(10000)) {
    password_.clear();
    return RunPasswordCommand(command, limit, &password_);
  }

  // Whether process `pid` has ended: gone, or a zombie that nobody reaps.
  static bool Ended(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    size_t paren = line.rfind(')');
    return paren != std::string::npos && line.substr(paren + 2, 1) == "Z";
  }

  // Waits for the kill to take effect, as long as the machine needs.
  static bool EndsSoon(pid_t pid) {
    for (int i = 0; i < 2000 && !Ended(pid); ++i) {
      std::this_thread::sleep_for(milliseconds(5));
    }
    return Ended(pid);
  }

  fs::path dir_ = fs::temp_directory_path() / ("password_command_" + std::to_string(::getpid()));
  std::string password_;
};

TEST_F(PasswordCommandTest, ACommandThatNeverFinishesIsEndedWithItsGroup) {
  fs::create_directories(dir_);
  std::string pid_file = (dir_ / "pid").string();
  {
    // The shell waits for a child of its own; both must go.
    Outcome outcome =
        Run("sleep 100000 & echo $! > " + pid_file + "; wait; echo late", milliseconds(500));
    EXPECT_EQ(outcome.code(), 57);
    EXPECT_EQ(outcome.message(),
              "Could not authenticate: the password command did not finish within 0.5 seconds");
    EXPECT_EQ(password_, "");
    std::ifstream file(pid_file);
    pid_t child = 0;
    if (file >> child) {  // it may not have started in time
      EXPECT_TRUE(EndsSoon(child)) << child;
    }
  }
  {
    // Closing its output does not count as finishing; nor does endless output.
    EXPECT_EQ(Run("echo early; exec >&-; sleep 100000", milliseconds(250)).message(),
              "Could not authenticate: the password command did not finish within 0.25 seconds");
    EXPECT_EQ(Run("yes", milliseconds(1000)).message(),
              "Could not authenticate: the password command did not finish within 1 second");
  }
}

TEST_F(PasswordCommandTest, StandardErrorIsNeverShown) {
  ::testing::internal::CaptureStderr();
  Outcome failed = Run("echo hunter2-secret >&2; exit 3");
  Outcome fine = Run("echo hunter2-secret >&2; echo pass");
  std::string shown = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(shown.find("hunter2"), std::string::npos) << shown;
  EXPECT_EQ(failed.message(),
            "Could not authenticate: the password command failed (exit status 3)");
  EXPECT_TRUE(fine.ok());
  EXPECT_EQ(password_, "pass");
  // Nor is what it printed, when it failed.
  Outcome killed = Run("echo hunter2-secret; kill -TERM $$");
  EXPECT_EQ(killed.message(),
            "Could not authenticate: the password command failed (ended by signal 15)");
  EXPECT_EQ(password_, "");
}

TEST_F(PasswordCommandTest, GetsNoInputNoDescriptorsAndMayPrintMuch) {
  // Input is empty, so a command that asks gets nothing and fails.
  EXPECT_EQ(Run("read answer && echo \"$answer\"").message(),
            "Could not authenticate: the password command failed (exit status 1)");
  // The host's descriptors stay its own.
  int fd = ::open("/dev/null", O_RDONLY);  // without close-on-exec
  ASSERT_GE(fd, 0);
  Outcome outcome = Run("if [ -e /proc/self/fd/" + std::to_string(fd) +
                        " ]; then echo inherited; else echo closed; fi");
  ::close(fd);
  EXPECT_TRUE(outcome.ok()) << outcome.message();
  EXPECT_EQ(password_, "closed");
  // More than a pipe holds, after the first line.
  EXPECT_TRUE(Run("echo first; head -c 1000000 /dev/zero").ok());
  EXPECT_EQ(password_, "first");
}

}  // namespace
}  // namespace verdanpost
