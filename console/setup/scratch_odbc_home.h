#ifndef VERDANPOST_CONSOLE_SETUP_SCRATCH_ODBC_HOME_H_
#define VERDANPOST_CONSOLE_SETUP_SCRATCH_ODBC_HOME_H_

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace verdanpost::setup {

// A user of the test's own: a home and data folder in a temporary directory
// and ODBC ini files there (the driver list copied from the system), so the
// setup never sees or touches the real user's. ODBCINI is set because the
// ODBC installer finds ~/.odbc.ini through the password database, not $HOME.
//
// The ODBC installer keeps the ini files' folders it first finds for the
// rest of the process, so every test of a program uses the same folder,
// emptied before each test and removed when the program ends.
class ScratchOdbcHome : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = ProcessFolder();
    ASSERT_FALSE(dir_.empty());
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      std::filesystem::remove_all(entry.path());
    }
    std::filesystem::create_directories(dir_ / "home");
    std::filesystem::create_directories(dir_ / "sys");
    std::filesystem::copy_file("/etc/odbcinst.ini", dir_ / "sys/odbcinst.ini");
    Write(dir_ / "sys/odbc.ini", "");
    user_ini_ = dir_ / "home/.odbc.ini";
    setenv("HOME", (dir_ / "home").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    setenv("ODBCSYSINI", (dir_ / "sys").c_str(), 1);
    setenv("ODBCINI", user_ini_.c_str(), 1);
    database_ = (dir_ / "data/verdanpost/vestro.db").string();
  }

  // The folder of this test program's runs; empty when it cannot be made.
  static std::filesystem::path ProcessFolder() {
    struct Folder {
      Folder() {
        char pattern[] = "/tmp/console_setup_test.XXXXXX";
        if (mkdtemp(pattern) != nullptr) path = pattern;
      }
      ~Folder() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
      }
      std::filesystem::path path;
    };
    static const Folder folder;
    return folder.path;
  }

  static void Write(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::filesystem::path dir_;
  std::filesystem::path user_ini_;
  std::string database_;  // where the default database belongs
};

}  // namespace verdanpost::setup

#endif  // VERDANPOST_CONSOLE_SETUP_SCRATCH_ODBC_HOME_H_
